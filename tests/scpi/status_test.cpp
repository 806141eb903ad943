#include "scpi/error_queue.h"
#include "scpi/status_registers.h"
#include "tests/scpi/scripted_host.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace pelmora::scpi;

TEST(StatusStructures, LatchRisingConditionsUntilRead) {
    Condition condition;
    EventRegister events;
    events.Latch(condition.Set(ques::kSupplyAbsent, true));
    events.Latch(condition.Set(ques::kSupplyAbsent, false));
    EXPECT_EQ(condition.Bits(), 0);
    EXPECT_FALSE(events.Summary());
    events.SetEnable(0xFFFF);
    EXPECT_EQ(events.Enable(), kStatusBits);
    EXPECT_TRUE(events.Summary());
    EXPECT_EQ(events.TakeEvents(), ques::kSupplyAbsent);
    EXPECT_EQ(events.TakeEvents(), 0);
    // A condition that stays set is no new event.
    events.Latch(condition.Set(ques::kSupplyAbsent, true));
    events.TakeEvents();
    events.Latch(condition.Set(ques::kSupplyAbsent, true));
    EXPECT_EQ(events.TakeEvents(), 0);
}

TEST(StatusStructures, SummariseIntoTheStatusByteAndItsMasterBit) {
    StatusRegisters registers;
    EXPECT_EQ(registers.StatusByte(false, false), 0);
    EXPECT_EQ(registers.StatusByte(true, true), stb::kErrorQueue | stb::kMessageAvailable);

    registers.RaiseEvent(esr::kExecutionError);
    EXPECT_EQ(registers.StatusByte(false, false), 0);
    registers.SetEventStatusEnable(esr::kExecutionError);
    EXPECT_EQ(registers.StatusByte(false, false), stb::kEventStatus);

    registers.questionable.Latch(ques::kSupplyAbsent);
    registers.questionable.SetEnable(ques::kSupplyAbsent);
    registers.operation.Latch(oper::kOutputOn);
    registers.operation.SetEnable(oper::kOutputOn);
    EXPECT_EQ(registers.StatusByte(false, false),
              stb::kEventStatus | stb::kQuestionable | stb::kOperation);

    // The service request enable cannot hold the master summary bit itself.
    registers.SetServiceRequestEnable(0xFF);
    EXPECT_EQ(registers.ServiceRequestEnable(), 0xBF);
    registers.SetServiceRequestEnable(stb::kErrorQueue);
    EXPECT_EQ(registers.StatusByte(false, false),
              stb::kEventStatus | stb::kQuestionable | stb::kOperation);
    EXPECT_EQ(registers.StatusByte(true, false), 0xEC);

    registers.Preset();
    registers.ClearEvents();
    EXPECT_EQ(registers.StatusByte(false, false), 0);
    EXPECT_EQ(registers.EventStatusEnable(), esr::kExecutionError);
}

TEST(ErrorQueues, KeepSixteenAndMarkTheOverflowInTheLastSlot) {
    ErrorQueue queue;
    for (int i = 0; i < 20; ++i) {
        queue.Push(i % 2 == 0 ? Error::UndefinedHeader : Error::DataOutOfRange);
    }
    ASSERT_EQ(queue.Count(), ErrorQueue::kCapacity);
    for (std::size_t i = 0; i + 1 < ErrorQueue::kCapacity; ++i) {
        EXPECT_EQ(queue.Take(), i % 2 == 0 ? Error::UndefinedHeader : Error::DataOutOfRange);
    }
    EXPECT_EQ(queue.Take(), Error::QueueOverflow);
    EXPECT_EQ(queue.Take(), Error::None);
}

TEST(StatusCommands, ReportErrorsInTheQueueAndTheEventStatus) {
    ScriptedHost host;
    EXPECT_EQ(host.Send("SYST:ERR?;ERR:COUN?;*ESR?;*STB?\n"), "0,\"No error\";0;0;16\n");
    host.Send("FOO\nVOLT 99\n");
    EXPECT_EQ(host.Send("*ESR?\n"),
              std::to_string(esr::kCommandError | esr::kExecutionError) + "\n");
    EXPECT_EQ(host.Send("*ESR?\n"), "0\n");
    EXPECT_EQ(host.Send("*STB?\n"), "4\n");
    EXPECT_EQ(host.Send("SYSTEM:ERROR:COUNT?\n"), "2\n");
    EXPECT_EQ(host.Send("SYST:ERR?;:SYST:ERR:NEXT?;:SYST:ERR?\n"),
              "-113,\"Undefined header\";-222,\"Data out of range\";0,\"No error\"\n");

    for (int i = 0; i < 17; ++i) {
        host.Send("FOO\n");
    }
    EXPECT_EQ(host.Send("*ESR?;SYST:ERR:COUN?\n"),
              std::to_string(esr::kCommandError | esr::kDeviceError) + ";16\n");
    EXPECT_EQ(host.DrainErrors().back(), -350);

    host.Send("*OPC\n");
    EXPECT_EQ(host.Send("*ESR?;*OPC?\n"), "1;1\n");
}

TEST(StatusCommands, ShowTheOutputAndTheSupplyInBothStructures) {
    ScriptedHost host;
    EXPECT_EQ(host.Send("STAT:OPER:ENAB 256;:STAT:QUES:ENAB 512;*SRE 136;*ESE 60\n"), "");
    EXPECT_EQ(host.Send("*SRE?;*ESE?;STAT:OPER:ENAB?\n"), "136;60;256\n");
    EXPECT_EQ(host.Send("OUTP ON\n*STB?;STAT:OPER:COND?\n"), "192;256\n");
    EXPECT_EQ(host.Send("STAT:OPER?;OPER?;*STB?\n"), "256;0;16\n");

    host.instrument.SupplyLost();
    EXPECT_EQ(host.Send("STAT:QUES:COND?;:STAT:OPER:COND?;*STB?\n"), "512;0;88\n");
    host.instrument.SupplyFound();
    EXPECT_EQ(host.Send("STAT:QUES:COND?;EVEN?;EVEN?;:OUTP?\n"), "0;512;0;0\n");

    host.instrument.PollFailed();
    EXPECT_EQ(host.Send("STAT:QUES:COND?\n"), "512\n");
    host.instrument.PollSample({});
    EXPECT_EQ(host.Send("STAT:QUES:COND?\n"), "0\n");

    host.Send("*CLS;STAT:PRES\n");
    EXPECT_EQ(host.Send("STAT:OPER:ENAB?;:STAT:QUES:ENAB?;:STAT:QUES?;*SRE?\n"), "0;0;0;136\n");
    EXPECT_EQ(host.Send("*ESE 256\n*SRE -1\nSTAT:OPER:ENAB 32768\n"), "");
    EXPECT_EQ(host.DrainErrors(), (std::vector<int>{-222, -222, -222}));
}

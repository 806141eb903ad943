#!/usr/bin/env python3
"""The loop of `pelmora-cli monitor --interval 0` written with pyserial, for comparison:
drain what is left over, send the current request, read the reply up to its carriage return
within the wait, take the ten-sample averages and write one flushed CSV row per sample.

Usage: pyserial_monitor.py DEVICE SECONDS CSV [WAIT_MS]
"""
import re
import sys
import time
from datetime import datetime

import serial

CURRENT_REQUEST = b"REQA\r"
CURRENT_REPLY = re.compile(rb"ACKA.( *[-+]?\d+).( *[-+]?\d+)\r")
REPLY_LIMIT = 30
HISTORY = 10
BAUD = 921600


def main():
    device, seconds, csv_path = sys.argv[1], float(sys.argv[2]), sys.argv[3]
    wait = (int(sys.argv[4]) if len(sys.argv) > 4 else 30) / 1000.0
    port = serial.Serial(device, BAUD, timeout=wait, exclusive=True)
    positive, negative = [0] * HISTORY, [0] * HISTORY
    with open(csv_path, "w") as csv:
        csv.write("time,elapsed_s,pos_mA,neg_mA,pos_avg_mA,neg_avg_mA\n")
        start = time.monotonic()
        while time.monotonic() - start < seconds:
            stamp = datetime.now().astimezone().isoformat(timespec="milliseconds")
            elapsed = time.monotonic() - start
            port.reset_input_buffer()
            port.write(CURRENT_REQUEST)
            reply = port.read_until(b"\r", REPLY_LIMIT)
            match = CURRENT_REPLY.fullmatch(reply)
            if match and len(reply) == 13:
                pos, neg = int(match.group(1)), int(match.group(2))
                positive = [pos] + positive[:-1]
                negative = [neg] + negative[:-1]
                averages = (int(sum(positive) / HISTORY), int(sum(negative) / HISTORY))
                csv.write(f"{stamp},{elapsed:.3f},{pos},{neg},{averages[0]},{averages[1]}\n")
            else:
                csv.write(f"{stamp},{elapsed:.3f},,,,\n")
            csv.flush()
    port.close()


if __name__ == "__main__":
    main()

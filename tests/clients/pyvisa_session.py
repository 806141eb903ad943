"""A bench session through pyvisa-py's raw socket resource; prints each answer as NAME VALUE.

Usage: /usr/bin/python3 pyvisa_session.py PORT
"""
import sys

import pyvisa

# Only against a hang: the test fails on a missing answer, not on a slow one.
TIMEOUT_MS = 10000

manager = pyvisa.ResourceManager("@py")
supply = manager.open_resource(
    f"TCPIP::127.0.0.1::{sys.argv[1]}::SOCKET",
    read_termination="\n",
    write_termination="\n",
    timeout=TIMEOUT_MS,
)
print("identity", supply.query("*IDN?"))
supply.write("INST:NSEL 2")
supply.write("VOLT -12")
supply.write("INST:NSEL 1")
supply.write("VOLT 5")
supply.write("OUTP ON")
print("measured", supply.query("MEAS:CURR?"))
print("fetched", supply.query("FETC:CURR?"))
supply.write("VOLT:SLEW 5")
print("error", supply.query("SYST:ERR?"))
supply.write("OUTP OFF")
print("complete", supply.query("*OPC?"))
supply.close()
manager.close()

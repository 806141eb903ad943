"""The supply as PyMeasure's generic Instrument; prints each answer as NAME VALUE.

Usage: /usr/bin/python3 pymeasure_session.py PORT
"""
import sys

from pymeasure.instruments import Instrument

supply = Instrument(
    f"TCPIP::127.0.0.1::{sys.argv[1]}::SOCKET",
    "Pelmora supply",
    visa_library="@py",
    read_termination="\n",
    write_termination="\n",
    timeout=10000,
)
print("id", supply.id)
print("switched", supply.ask("APPL POS,5;OUTP ON;*OPC?").strip())
supply.reset()
print("output", supply.ask("OUTP?").strip())
supply.write("VOLT 4.5")
print("count", supply.ask("SYST:ERR:COUN?").strip())
supply.clear()
print("cleared", supply.ask("SYST:ERR?").strip())
supply.shutdown()

"""Switches the supply through a labgrid power driver, as a labgrid test would; "get" prints what
the driver reads back as "get 1" or "get 0".

Usage: /usr/bin/python3 labgrid_power.py ENVIRONMENT.yaml on|off|cycle|get...
"""
import sys

from labgrid import Environment

environment = Environment(config_file=sys.argv[1])
power = environment.get_target("bench").get_driver("PowerProtocol")
for action in sys.argv[2:]:
    result = getattr(power, action)()
    if action == "get":
        print("get", int(result))

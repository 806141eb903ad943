"""Switches the supply through labgrid's ExternalPowerDriver, as a labgrid test would.

Usage: /usr/bin/python3 labgrid_power.py ENVIRONMENT.yaml on|off|cycle
"""
import sys

from labgrid import Environment

environment = Environment(config_file=sys.argv[1])
power = environment.get_target("bench").get_driver("PowerProtocol")
getattr(power, sys.argv[2])()

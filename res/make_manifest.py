#!/usr/bin/env python3
"""Copies a manifest byte for byte, naming the build's processor in every
processorArchitecture attribute.

usage: make_manifest.py SOURCE TARGET ARCHITECTURE
"""
import sys

source, target, architecture = sys.argv[1:4]
with open(source, "rb") as f:
    data = f.read()
data = data.replace(b'processorArchitecture="X86"',
                    b'processorArchitecture="' + architecture.encode() + b'"')
with open(target, "wb") as f:
    f.write(data)

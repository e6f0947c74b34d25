#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads one mail from standard input the way a standard mail reader does and prints what it
found as one JSON object: the decoded header fields named on the command line (null when
absent), "defects" (the parser's complaints about the header and body) and "body" (the text
part decoded with its transfer encoding and charset).

usage: /usr/bin/python3 read-mail.py FIELD...
"""
import email
import email.policy
import json
import sys

message = email.message_from_bytes(sys.stdin.buffer.read(), policy=email.policy.default)
out = {name: (None if message[name] is None else str(message[name])) for name in sys.argv[1:]}
defects = [type(d).__name__ for d in message.defects]
for name, value in message.items():
    defects += [type(d).__name__ for d in getattr(value, "defects", ())]
out["defects"] = defects
out["body"] = message.get_content()
print(json.dumps(out))

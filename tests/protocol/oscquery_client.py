"""An OSCQuery client written to the protocol alone: it reads the tree and host info over HTTP,
sets values over OSC (liblo's oscsend) and over the WebSocket, and follows changes after LISTEN
and IGNORE. Run with the instance program's path, inside a network namespace of its own."""

import json
import os
import struct
import subprocess
import sys
import time
import unittest

import requests
import websocket

INSTANCE = sys.argv.pop(1) if len(sys.argv) > 1 else None
OSC_PORT = 9010
QUERY_PORT = OSC_PORT + 100

# What the instance registers: address -> (type tags, range). None is an open range end.
EXPECTED = {
    "/mix/gain": ("f", [{"MIN": 0.0, "MAX": 1.0}]),
    "/mix/count": ("i", [{"MIN": -10, "MAX": 10}]),
    "/mix/mute": ("f", [{"MIN": 0.0, "MAX": 1.0}]),
    "/shape/mode": ("i", [{"VALS": [0, 1, 2]}]),
    "/shape/label": ("s", [None]),
    "/shape/offset": ("fff", [{"MIN": -1.0, "MAX": 1.0}] * 3),
    "/shape/weights": ("ffff", [{}] * 4),
    "/shape/tint": ("ffff", [{"MIN": 0.0, "MAX": 1.0}] * 4),
    "/shape/where": ("fffffff", [{}] * 7),
    "/shape/voices": ("i", [{"MIN": 0, "MAX": 65535}]),
    "/shape/go": ("f", [{"MIN": 0.0, "MAX": 1.0}]),
}


def osc_string(s):
    b = s.encode() + b"\0"
    return b + b"\0" * (-len(b) % 4)


def osc_message(address, *args):
    tags, data = ",", b""
    for a in args:
        if isinstance(a, float):
            tags, data = tags + "f", data + struct.pack(">f", a)
        elif isinstance(a, int):
            tags, data = tags + "i", data + struct.pack(">i", a)
        else:
            tags, data = tags + "s", data + osc_string(a)
    return osc_string(address) + osc_string(tags) + data


def read_string(b, i):
    end = b.index(b"\0", i)
    return b[i:end].decode(), (end + 4) & ~3


def parse_osc(b):
    """(address, [args]) of a message; the messages of a bundle as a list."""
    if b.startswith(b"#bundle\0"):
        out, i = [], 16
        while i < len(b):
            (n,) = struct.unpack(">i", b[i:i + 4])
            out += parse_osc(b[i + 4:i + 4 + n])
            i += 4 + n
        return out
    address, i = read_string(b, 0)
    tags, i = read_string(b, i)
    args = []
    for t in tags[1:]:
        if t == "f":
            args.append(struct.unpack(">f", b[i:i + 4])[0])
            i += 4
        elif t == "i":
            args.append(struct.unpack(">i", b[i:i + 4])[0])
            i += 4
        elif t == "s":
            s, i = read_string(b, i)
            args.append(s)
    return [(address, args)]


def oscsend(address, tags, *values):
    subprocess.run(["oscsend", "127.0.0.1", str(OSC_PORT), address, tags, *map(str, values)],
                   check=True)


class Instance:
    def __init__(self, *args):
        self.proc = subprocess.Popen([INSTANCE, str(OSC_PORT), *args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        while line and not line.startswith("ready"):
            line = self.proc.stdout.readline()
        assert line.split() == ["ready", str(OSC_PORT), str(QUERY_PORT)], line

    def stop(self):
        self.proc.stdin.write("quit\n")
        self.proc.stdin.close()
        assert self.proc.wait(timeout=20) == 0


def url(path):
    return f"http://127.0.0.1:{QUERY_PORT}{path}"


def value(path):
    return requests.get(url(path + "?VALUE"), timeout=5).json()["VALUE"]


def ws(query=""):
    sock = websocket.create_connection(f"ws://127.0.0.1:{QUERY_PORT}/{query}", timeout=5)
    return sock


def frames_for(sock, address, seconds):
    """The OSC messages at address that arrive within the time."""
    got, end = [], time.monotonic() + seconds
    while time.monotonic() < end:
        sock.settimeout(max(0.05, end - time.monotonic()))
        try:
            opcode, data = sock.recv_data()
        except websocket.WebSocketTimeoutException:
            break
        if opcode == websocket.ABNF.OPCODE_BINARY:
            got += [m for m in parse_osc(data) if m[0] == address]
            if got:
                break
    return got


def wait_value(path, expected, seconds=5):
    end = time.monotonic() + seconds
    while time.monotonic() < end and value(path) != expected:
        time.sleep(0.05)
    return value(path)


class OpenServer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.instance = Instance()

    @classmethod
    def tearDownClass(cls):
        cls.instance.stop()

    def test_host_info(self):
        info = requests.get(url("/?HOST_INFO"), timeout=5).json()
        self.assertEqual(info["OSC_PORT"], OSC_PORT)
        self.assertEqual(info["OSC_TRANSPORT"], "UDP")
        self.assertTrue(info["EXTENSIONS"]["LISTEN"])
        self.assertTrue(info["NAME"])

    def test_tree_has_every_parameter_with_type_and_range(self):
        root = requests.get(url("/"), timeout=5).json()
        found = {}

        def walk(node):
            if "TYPE" in node:
                found[node["FULL_PATH"]] = node
            for child in node.get("CONTENTS", {}).values():
                walk(child)

        walk(root)
        self.assertEqual(set(found), set(EXPECTED))
        for path, (tags, rng) in EXPECTED.items():
            node = found[path]
            self.assertEqual(node["TYPE"], tags, path)
            self.assertEqual(node["RANGE"], rng, path)
            self.assertIn(node["ACCESS"], (2, 3), path)
            if node["ACCESS"] & 1:
                self.assertEqual(len(node["VALUE"]), len(tags), path)
            # Each node is served at its own path too, and each attribute on its own.
            self.assertEqual(requests.get(url(path), timeout=5).json(), node)
            self.assertEqual(requests.get(url(path + "?TYPE"), timeout=5).json(), {"TYPE": tags})
        self.assertEqual(found["/mix/gain"]["DESCRIPTION"], "Output gain")
        # Values as set at start (the other cases leave these alone).
        self.assertEqual(found["/shape/weights"]["VALUE"], [1.0, 0.0, 0.0, 0.0])
        self.assertEqual(found["/shape/tint"]["VALUE"], [1.0, 0.5, 0.25, 1.0])
        self.assertEqual(found["/shape/mode"]["MENU_ITEMS"], ["sine", "saw", "square"])
        self.assertEqual(root["CONTENTS"]["mix"]["FULL_PATH"], "/mix")
        self.assertEqual(requests.get(url("/no/such/node"), timeout=5).status_code, 404)

    def test_listen_and_ignore(self):
        sock = ws()
        try:
            sock.send(json.dumps({"COMMAND": "LISTEN", "DATA": "/mix/gain"}))
            sock.send(json.dumps({"COMMAND": "LISTEN", "DATA": "/mix/count"}))
            time.sleep(0.2)  # the commands reach the server before the changes do
            oscsend("/mix/gain", "f", 0.25)
            self.assertEqual(frames_for(sock, "/mix/gain", 5), [("/mix/gain", [0.25])])
            oscsend("/shape/label", "s", "unheard")  # a path nobody listens to
            self.assertEqual(wait_value("/shape/label", ["unheard"]), ["unheard"])
            self.assertEqual(frames_for(sock, "/shape/label", 0.5), [])

            sock.send(json.dumps({"COMMAND": "IGNORE", "DATA": "/mix/gain"}))
            time.sleep(0.2)
            oscsend("/mix/gain", "f", 0.75)
            self.assertEqual(wait_value("/mix/gain", [0.75]), [0.75])
            self.assertEqual(frames_for(sock, "/mix/gain", 1.0), [])
            # The connection still carries the path it listens to: the silence above was IGNORE.
            oscsend("/mix/count", "i", 7)
            self.assertEqual(frames_for(sock, "/mix/count", 5), [("/mix/count", [7])])
        finally:
            sock.close()

    def test_set_over_websocket_reaches_others_but_not_the_sender(self):
        setter, watcher = ws(), ws()
        try:
            for s in (setter, watcher):
                s.send(json.dumps({"COMMAND": "LISTEN", "DATA": "/shape/offset"}))
            time.sleep(0.2)
            setter.send_binary(osc_message("/shape/offset", 0.5, -0.5, 0.25))
            self.assertEqual(frames_for(watcher, "/shape/offset", 5),
                             [("/shape/offset", [0.5, -0.5, 0.25])])
            self.assertEqual(value("/shape/offset"), [0.5, -0.5, 0.25])
            self.assertEqual(frames_for(setter, "/shape/offset", 0.5), [])
            # Out of range: clamped by the parameter, as over OSC.
            setter.send_binary(osc_message("/mix/count", 99))
            self.assertEqual(wait_value("/mix/count", [10]), [10])
        finally:
            setter.close()
            watcher.close()


class TokenServer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.instance = Instance("token=s3cret")

    @classmethod
    def tearDownClass(cls):
        cls.instance.stop()

    def test_change_without_token_is_refused(self):
        before = value("/mix/gain")  # reading stays open
        for query in ("", "?token=wrong"):
            sock = ws(query)
            try:
                sock.send_binary(osc_message("/mix/gain", 0.125))
                sock.settimeout(5)
                opcode, data = sock.recv_data()
                self.assertEqual(opcode, websocket.ABNF.OPCODE_TEXT)
                self.assertIn("ERROR", json.loads(data))
            finally:
                sock.close()
        self.assertEqual(value("/mix/gain"), before)
        sock = ws("?token=s3cret")
        try:
            sock.send_binary(osc_message("/mix/gain", 0.125))
            self.assertEqual(wait_value("/mix/gain", [0.125]), [0.125])
        finally:
            sock.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)

#!/usr/bin/env python3
"""vombel-device --json as a script sees it: every command runs on a simulated
card, and every line it prints must be one of the documents of
docs/vombel-device.schema.json, the one the command promises; a failing run's
last document is the error object, whose exit code is the program's.

usage: vombel_device_json.py PROGRAM SCHEMA
Exits 77 (skipped) when python3-jsonschema is not installed.
"""
import concurrent.futures
import json
import os
import subprocess
import sys
import tempfile
import threading

try:
    import jsonschema
except ImportError:
    print("python3-jsonschema is not installed", file=sys.stderr)
    sys.exit(77)

# A run that takes longer than this is stuck; a passing run never comes near.
SAFETY_NET_S = 180

KIND_OF_EXIT_CODE = {1: "unavailable", 2: "usage", 3: "sim", 4: "card", 5: "busy",
                     6: "unsupported", 7: "system", 130: "interrupted"}

# name, arguments, standard input, exit code, the documents it prints
# (a trailing "..." allows any number of the last kind before it).
RUNS = [
    ("status", ["--simulate", "status"], "", 0, ["status"]),
    ("identity", ["--simulate=gprs", "identity"], "", 0, ["identity"]),
    ("diagnostics", ["--simulate=stack3", "diagnostics"], "", 0, ["diagnostics"]),
    ("pin status", ["--simulate", "pin", "status"], "", 0, ["pin"]),
    ("pin enter", ["--simulate", "pin", "enter"], "1234\n", 0, ["pin"]),
    ("pin change", ["--simulate", "pin", "change"], "1234\n4321\n", 0, ["pin"]),
    ("pin off", ["--simulate", "pin", "off"], "1234\n", 0, ["pin"]),
    ("pin on", ["--simulate", "pin", "on"], "1234\n", 0, ["pin"]),
    ("pin unblock", ["--simulate", "pin", "unblock"], "12345678\n2468\n", 0, ["pin"]),
    ("wrong pin", ["--simulate", "pin", "enter"], "8642\n", 3, ["error"]),
    ("pin without a code", ["--simulate", "pin", "on"], "", 2, ["error"]),
    ("technology", ["--simulate=techsel", "technology"], "", 0, ["technology"]),
    ("technology set", ["--simulate=techsel", "technology", "umts-only"], "", 0, ["technology"]),
    ("technology unsupported", ["--simulate", "technology", "gprs-only"], "", 6, ["error"]),
    ("sms list", ["--simulate", "sms", "list"], "", 0, ["sms_list"]),
    ("sms read", ["--simulate", "sms", "read", "1"], "", 0, ["sms_read"]),
    ("sms send", ["--simulate", "sms", "send", "+491709876543"], "Meet at \"8\"\\n?\n", 0, ["sms_send"]),
    ("sms send long", ["--simulate", "sms", "send", "+491709876543"], "Ten words of a long message for three parts. " * 9,
     0, ["sms_send"]),
    ("sms send too long", ["--simulate", "sms", "send", "+491709876543"], "x" * (255 * 153 + 1), 2, ["error"]),
    ("sms delete", ["--simulate", "sms", "delete", "0"], "", 0, ["sms_delete"]),
    ("sms read empty slot", ["--simulate", "sms", "read", "9"], "", 4, ["error"]),
    ("ussd", ["--simulate", "ussd", "*101#", "1"], "", 0, ["ussd"]),
    ("ussd without a reply", ["--simulate", "ussd", "*101#"], "", 0, ["ussd"]),
    ("ussd not offered", ["--simulate", "ussd", "*999#"], "", 6, ["error"]),
    ("watch", ["--simulate=composite", "watch", "--once"], "", 0, ["watch_event", "watch_status", "..."]),
    ("bad command line", ["statsu"], "", 2, ["error"]),
    ("disconnect without connect", ["disconnect"], "", 1, ["error"]),
]

# Documents the simulated card gives no occasion for without its console.
NOT_PRODUCED = {"watch_library_error", "watch_message", "watch_status_report"}


class Checker:
    def __init__(self, program, schema_path):
        self.program = program
        with open(schema_path, encoding="utf-8") as f:
            self.schema = json.load(f)
        jsonschema.Draft202012Validator.check_schema(self.schema)
        self.whole = jsonschema.Draft202012Validator(self.schema)
        self.names = [ref["$ref"].rsplit("/", 1)[1] for ref in self.schema["oneOf"]]
        self.seen = set()
        self.failures = []
        self.lock = threading.Lock()

    def validator(self, name):
        one = dict(self.schema)
        one["oneOf"] = [{"$ref": "#/$defs/" + name}]
        return jsonschema.Draft202012Validator(one)

    def fail(self, run, message):
        with self.lock:
            self.failures.append(f"{run}: {message}")

    def kind_of(self, document):
        for name in self.names:
            if self.validator(name).is_valid(document):
                return name
        return None

    def environment(self, folder):
        env = dict(os.environ)
        runtime = os.path.join(folder, "run")
        os.mkdir(runtime, 0o700)
        env.update({"XDG_RUNTIME_DIR": runtime, "TMPDIR": folder + "/", "XDG_CONFIG_HOME": folder})
        return env

    # Every line a document of the schema, in the kinds expected.
    def check_lines(self, run, lines, expected):
        kinds = []
        for line in lines:
            try:
                document = json.loads(line)
            except json.JSONDecodeError as e:
                self.fail(run, f"not JSON ({e}): {line!r}")
                return None
            errors = sorted(self.whole.iter_errors(document), key=str)
            if errors:
                detail = "; ".join(e.message[:300] for e in errors[:3])
                self.fail(run, f"not a document of the schema ({detail}): {line[:300]}")
                return None
            kinds.append(self.kind_of(document))
        with self.lock:
            self.seen.update(kinds)
        if expected[-1:] == ["..."]:
            allowed = set(expected[:-1])
            if not kinds or any(k not in allowed for k in kinds) or kinds[-1] != expected[-2]:
                self.fail(run, f"documents {kinds}, expected {expected}")
        elif kinds != expected:
            self.fail(run, f"documents {kinds}, expected {expected}")
        return [json.loads(line) for line in lines]

    def check_exit(self, run, code, documents, expected_code):
        if code != expected_code:
            self.fail(run, f"exit code {code}, expected {expected_code}")
        if documents and documents[-1].get("ok") is False:
            error = documents[-1]["error"]
            if error["exit_code"] != code or KIND_OF_EXIT_CODE.get(code) != error["kind"]:
                self.fail(run, f"error object {error} does not match exit code {code}")

    def run(self, spec):
        name, args, stdin, code, expected = spec
        with tempfile.TemporaryDirectory(prefix="vombel-json-") as folder:
            try:
                done = subprocess.run([self.program, "--json", *args], input=stdin, capture_output=True,
                                      text=True, env=self.environment(folder), timeout=SAFETY_NET_S)
            except subprocess.TimeoutExpired:
                self.fail(name, "did not end")
                return
        lines = done.stdout.splitlines()
        documents = self.check_lines(name, lines, expected)
        if documents is None:
            return
        self.check_exit(name, done.returncode, documents, code)
        if name == "pin enter" and not documents[0]["done"]:
            self.fail(name, "the PIN the SIM asked for was not entered")
        if name == "technology set" and (documents[0]["mode"], documents[0]["changed"]) != ("umts-only", True):
            self.fail(name, f"mode not set: {documents[0]}")
        if name == "sms send long" and (documents[0]["parts"], len(set(documents[0]["indices"]))) != (3, 3):
            self.fail(name, f"not three parts in three slots: {documents[0]}")
        if name == "ussd" and [t["sent"] for t in documents[0]["turns"]] != ["*101#", "1"]:
            self.fail(name, f"the reply was not sent: {documents[0]}")
        if name == "bad command line" and documents[0]["command"] is not None:
            self.fail(name, "a command line not understood names no command")

    # connect until connected, then disconnect from a second program.
    def run_connect(self):
        name = "connect"
        with tempfile.TemporaryDirectory(prefix="vombel-json-") as folder:
            env = self.environment(folder)
            connect = subprocess.Popen([self.program, "--json", "--simulate=gprs", "connect"], env=env,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            watchdog = threading.Timer(SAFETY_NET_S, connect.kill)
            watchdog.start()
            lines = []
            disconnect = None
            for line in connect.stdout:
                lines.append(line.rstrip("\n"))
                if disconnect is None and json.loads(line).get("state") == "connected":
                    disconnect = subprocess.run([self.program, "--json", "disconnect"], capture_output=True,
                                                text=True, env=env, timeout=SAFETY_NET_S)
            code = connect.wait()
            watchdog.cancel()
            connect.stderr.close()
        if disconnect is None:
            self.fail(name, f"never connected: {lines}")
            return
        documents = self.check_lines("disconnect", disconnect.stdout.splitlines(), ["disconnect"])
        if documents is not None:
            self.check_exit("disconnect", disconnect.returncode, documents, 0)
        expected = ["connect_apn", "connect_state", "connect_state", "connect_address"]
        documents = self.check_lines(name, lines[:4], expected)
        rest = self.check_lines(name + " (to the end)", lines[4:],
                                ["connect_traffic", "connect_state", "..."])
        if documents is not None and rest is not None:
            self.check_exit(name, code, rest, 0)
            if rest[-1].get("state") != "disconnected":
                self.fail(name, f"last line {rest[-1]}, expected the disconnected state")


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    checker = Checker(sys.argv[1], sys.argv[2])
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        jobs = [pool.submit(checker.run, spec) for spec in RUNS]
        jobs.append(pool.submit(checker.run_connect))
        for job in jobs:
            job.result()
    missing = set(checker.names) - checker.seen - NOT_PRODUCED
    if missing:
        checker.failures.append(f"no run printed {sorted(missing)}")
    for failure in checker.failures:
        print(failure, file=sys.stderr)
    print(f"{len(RUNS) + 1} runs, documents seen: {sorted(checker.seen)}")
    return 1 if checker.failures else 0


if __name__ == "__main__":
    sys.exit(main())

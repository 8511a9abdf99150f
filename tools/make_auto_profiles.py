#!/usr/bin/env python3
"""Generates resources/auto_profiles.txt, the automatic-profile table, from the
public-domain mobile broadband service-provider database (Debian package
mobile-broadband-provider-info).

One line per operator code (MCC followed by MNC as the database writes it):

    code,apn,user name,password

For each code the first provider in the database that lists it and offers an
internet APN wins, with that provider's first internet APN and its user name
and password (empty when the database gives none). The program reads the table
as single-byte text split at every ",", with no quoting, so an APN whose texts
hold a comma, a control character or anything beyond printable ASCII is
passed over for the provider's next one. Lines are sorted by code.

The program looks an IMSI up by its first 5 characters before its first 6, so a
6-character code that starts with a 5-character one could never be found; such
codes are left out and reported. The result always satisfies the program's own
validity check: no code twice, every code 5 or 6 digits.

Usage: make_auto_profiles.py [SERVICEPROVIDERS_XML] [OUTPUT]
"""

import sys
import xml.etree.ElementTree as ET

DEFAULT_XML = "/usr/share/mobile-broadband-provider-info/serviceproviders.xml"


def usable(text):
    return all(0x20 <= ord(ch) < 0x7F for ch in text) and "," not in text


def is_internet(apn):
    usages = [usage.get("type", "") for usage in apn.findall("usage")]
    # The database's format treats an APN without a usage element as internet.
    return not usages or any("internet" in usage for usage in usages)


def internet_profile(gsm):
    for apn in gsm.findall("apn"):
        if not is_internet(apn):
            continue
        fields = [
            (apn.get("value") or "").strip(),
            (apn.findtext("username") or "").strip(),
            (apn.findtext("password") or "").strip(),
        ]
        if fields[0] and all(usable(field) for field in fields):
            return fields
    return None


def build_table(root):
    table = {}
    for provider in root.iter("provider"):
        for gsm in provider.findall("gsm"):
            profile = internet_profile(gsm)
            if profile is None:
                continue
            for network in gsm.findall("network-id"):
                mcc = network.get("mcc", "")
                mnc = network.get("mnc", "")
                code = mcc + mnc
                if not (len(mcc) == 3 and len(mnc) in (2, 3) and code.isdigit()):
                    print(f"skipped malformed network id {mcc!r}/{mnc!r}", file=sys.stderr)
                    continue
                table.setdefault(code, profile)
    for code in sorted(table):
        if len(code) == 6 and code[:5] in table:
            print(f"left out {code}: lookups by IMSI find {code[:5]} first", file=sys.stderr)
            del table[code]
    return table


def main(argv):
    source = argv[1] if len(argv) > 1 else DEFAULT_XML
    output = argv[2] if len(argv) > 2 else None
    table = build_table(ET.parse(source).getroot())
    lines = "".join(",".join([code] + table[code]) + "\n" for code in sorted(table))
    if output is None:
        sys.stdout.write(lines)
    else:
        with open(output, "w", encoding="ascii", newline="\n") as out:
            out.write(lines)
    print(f"{len(table)} profiles", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

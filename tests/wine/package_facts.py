#!/usr/bin/env python3
"""The built MSI against its files and the program, and the setup authors' page against both, so
that neither the package nor the guide drifts. Prints one line per fact group and fails on any
mismatch. Usage: package_facts.py PACKAGE.msi REPOSITORY"""
import math
import os
import re
import subprocess
import sys

msi, root = sys.argv[1], sys.argv[2]
wrong = []


def check(ok, what):
    if not ok:
        wrong.append(what)


def table(name):
    out = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True,
                         text=True).stdout
    return [line.split("\t") for line in out.splitlines()[3:]]


def string_value(data, key):  # a value of the version resource's string table, or None
    m = re.search((key + "\0").encode("utf-16-le") + rb"(?:\0\0)?((?:[^\0]\0)+)", data)
    return m.group(1).decode("utf-16-le") if m else None


source = lambda path: open(os.path.join(root, path), encoding="utf-8").read()
build = re.search(r"kBuildNumber = (\d+);", source("drv/install/foundation/product.h")).group(1)
props = dict(row[:2] for row in table("Property"))
secure = props["SecureCustomProperties"].split(";")
actions = {row[0]: row for row in table("CustomAction")}

# Every file with a version resource carries its version and language in the File table.
package = os.path.join(root, "build/win64/package")
files = {n.lower(): os.path.join(d, n) for d, _, ns in os.walk(package) for n in ns}
for key, _, name, _, version, language, *_ in table("File"):
    data = open(files[name.lower()], "rb").read()
    expected = string_value(data, "FileVersion")
    check(version == (expected or ""), f"File {name}: Version '{version}', file {expected}")
    check(bool(language) == bool(expected), f"File {name}: Language '{language}'")
    if expected:
        check(expected == f"1.0.0.{build}", f"{name}: version {expected}, build {build}")
        check(string_value(data, "CompanyName") == props["Manufacturer"], f"{name}: company")
check(props["ProductVersion"] == f"1.0.{build}", "ProductVersion from the build number")
check(props["Manufacturer"] == "Morvane Software Kft.", "Manufacturer (Publisher)")
check({"INSTALLDIR", "NOTRAY"} <= set(secure), "INSTALLDIR and NOTRAY secure")
check(actions["SetArpInstallLocation"][2:4] == ["ARPINSTALLLOCATION", "[INSTALLDIR]"],
      "ARPINSTALLLOCATION")
check(actions["SetNoTrayMode"][3] == "in_notray", "NOTRAY=1 runs in_notray")
print(f"msi tables: {len(table('File'))} files, properties {props['ProductVersion']}")

# The guide: codes, command lines, error numbers, bounds.
guide = source("docs/setup-authors.md")
nsis = source("setup/vexaWriter.nsi")
check(props["ProductCode"] in guide, "the guide's ProductCode")
check(props["UpgradeCode"] in guide, "the guide's UpgradeCode")
commands = re.findall(r"`([^`\n]*msiexec[^`\n]*)`", guide) + re.findall(
    r"^    (.*msiexec.*)$", guide, re.M)
for line in (c for c in commands if re.search(r"/[ixf]\b|-ArgumentList", c)):
    check("/norestart" in line and "/l*v" in line, f"/norestart and /l*v: {line}")
    for name in re.findall(r"\b([A-Z][A-Z0-9_]+)=", line):
        check(name in secure + ["REINSTALL", "REINSTALLMODE"], f"property {name}: {line}")
    for code in re.findall(r"\{[0-9A-F-]{36}\}", line):
        check(code == props["ProductCode"], f"ProductCode {code}: {line}")
    if "Start-Process" in line:
        check(re.search(r"'[^']*\{[0-9A-F-]{36}\}|'\"\{", line) or "/i" in line,
              f"quoted ProductCode: {line}")
for line in re.findall(r"[^`\n]*uninstall\.exe[^`\n]*/S[^`\n]*", guide + nsis):
    check("_?=" in line, f"NSIS uninstall without _?=: {line}")
check('"UninstallString" \'"$INSTDIR\\${UNINSTALLER}" _?=$INSTDIR\'' in nsis, "UninstallString")
for code in (0, 1618, 1641, 1707, 3010):
    check(re.search(rf"^\| {code} \|", guide, re.M), f"msiexec return code {code} in the guide")
errors = source("drv/install/foundation/error_codes.h")
messages = dict(re.findall(r"kMessage(\w+) =\s*L\"((?:[^\"\\]|\\.)*)\"", errors))
numbered = dict(re.findall(r"kError(\w+) = (\d+),", errors))
for number in range(1, 21):
    row = re.search(rf"^\| {number} \| (.*)$", guide.split("## Error numbers")[-1], re.M)
    check(row, f"error {number} in the guide's table")
    names = [n for n, v in numbered.items() if int(v) == number]
    for name in names:
        text = messages.get(name, "").replace("\\'", "'")
        check(row and text.replace("`", "") in row.group(1).replace("`", ""),
              f"error {number}: message '{text}'")

# Bounds: each mode's from the wait bounds, and the longest MSI run (a failed first install:
# "install" then the rollback's "uninstall") within the run time the guide asks for.
bounds_text = re.sub(r"//[^\n]*", "", source("tests/host/sequences/wait_bounds.h"))
values = {}
for name, expr in re.findall(r"constexpr uint64_t (k\w+) = ([^;]+);", bounds_text):
    values[name] = eval(expr.replace("\n", " "), {}, values)
for mode in ("install", "uninstall", "removetray"):
    expr = re.search(rf'keyword == "{mode}"[^)]*\) return ([^;]+);', bounds_text).group(1)
    seconds = math.ceil(eval(expr, {}, values) / 1000)
    check(f"{mode} {seconds} s" in guide.replace("`", ""), f"bound of {mode}: {seconds} s")
    values[mode] = seconds
worst = values["install"] + values["uninstall"]
minutes = re.search(r"run time of at least (\d+) minutes", guide)
check(minutes and int(minutes.group(1)) * 60 >= worst, f"run time at least {worst} s")
print(f"guide: {len(commands)} command lines, 20 error numbers, longest MSI run {worst} s")
for what in wrong:
    print("wrong:", what)
sys.exit(1 if wrong else 0)

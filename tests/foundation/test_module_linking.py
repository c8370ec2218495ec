"""How every built extension module is linked, read from its ELF tables: the C++ personality routine
of its frames is the exit routine (runtime/exit_unwind.cpp), and it exports its init function only."""
import glob
import os
import subprocess
import sys

import pytest

from conftest import SITE

MODULES = sorted(os.path.relpath(p, SITE) for p in glob.glob(os.path.join(SITE, "**", "*.so"), recursive=True))
PERSONALITY = "__gxx_personality_v0"
WRAPPER = "__wrap___gxx_personality_v0"


def elf_tables(module):
    """The module's relocations (section, offset, type, symbol, addend) and symbols (table, name, value, bind, section)."""
    out = subprocess.run(["readelf", "-rsW", os.path.join(SITE, module)], capture_output=True, text=True,
                         check=True).stdout
    relocations, symbols, table = [], [], None
    for line in out.splitlines():
        f = line.split()
        if line.startswith(("Relocation section", "Symbol table")):
            table = f[2].strip("'")
        elif table and table.startswith(".rela") and len(f) >= 4 and f[0] != "Offset":
            symbol = f[4].split("@")[0] if len(f) > 4 else None  # none for RELATIVE, a local module's TLS
            relocations.append((table, int(f[0], 16), f[2], symbol, int(f[-1], 16)))
        elif table in (".dynsym", ".symtab") and len(f) >= 8 and f[0] != "Num:":
            symbols.append((table, f[7].split("@")[0], int(f[1], 16), f[4], f[6]))
    return relocations, symbols


def personality(module):
    """What the module's personality word is relocated to, and the relocation types naming the real routine."""
    relocations, symbols = elf_tables(module)
    local = {name: value for table, name, value, _, _ in symbols if table == ".symtab"}
    word = [r for r in relocations if r[1] == local.get("DW.ref." + PERSONALITY)]
    if len(word) != 1:
        target = "%d relocations of the personality word" % len(word)
    elif word[0][2] == "R_X86_64_RELATIVE":
        target = WRAPPER if word[0][4] == local.get(WRAPPER) else "address %#x" % word[0][4]
    else:
        target = "%s against %s" % (word[0][2], word[0][3])
    return target, sorted(r[2] for r in relocations if r[3] == PERSONALITY)


def exports(module):
    _, symbols = elf_tables(module)
    return sorted(name for table, name, _, bind, section in symbols
                  if table == ".dynsym" and name and section != "UND" and bind != "LOCAL")


def init_name(module):
    return "PyInit_" + os.path.basename(module).split(".")[0]


def test_modules_of_every_folder_are_read():
    assert {m.split(os.sep)[0] for m in MODULES} == {"demos", "dorar", "segypy", "testmods"}


@pytest.mark.skipif(sys.version_info >= (3, 14), reason="the interpreter parks threads ended at its exit "
                    "from Python 3.14 on: no personality routine of ours is linked in")
def test_frames_take_the_exit_personality_routine():
    assert {m: personality(m) for m in MODULES} == {m: (WRAPPER, ["R_X86_64_JUMP_SLOT"]) for m in MODULES}


def test_each_module_exports_its_init_function_only():
    assert {m: exports(m) for m in MODULES} == {m: [init_name(m)] for m in MODULES}

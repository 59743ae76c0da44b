#!/usr/bin/env python3
"""Mends a fault of widl's -Oif proxies for [out] string parameters (LPWSTR*, LPOLESTR*).

widl points the parameter's descriptor at the string pointer (FC_OP) behind the reference
pointer instead of at the reference pointer (FC_RP [allocated_on_stack] [pointer_deref])
itself, and Wine's NDR engine then hands the client a NULL string. This rewrites every
parameter descriptor that points at such an FC_OP to point at its FC_RP.

usage: fix_widl_out_strings.py generated_p.c
"""
import re
import sys


def main(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    # /* N (T *) */ 0x11, 0x14, /* FC_RP [allocated_on_stack] [pointer_deref] */ NdrFcShort(..), /* Offset= 2 (M) */
    reference = re.compile(
        r"/\* (\d+) \([^)]*\) \*/\s*0x11, 0x14,\s*/\* FC_RP \[allocated_on_stack\] \[pointer_deref\] \*/\s*"
        r"NdrFcShort\(0x2\),\s*/\* Offset= 2 \((\d+)\) \*/")
    target_to_reference = {int(m.group(2)): int(m.group(1)) for m in reference.finditer(text)}
    fixed = 0

    def repoint(match):
        nonlocal fixed
        offset = int(match.group(2))
        if offset not in target_to_reference:
            return match.group(0)
        fixed += 1
        new = target_to_reference[offset]
        return f"{match.group(1)}NdrFcShort(0x{new:x}),\t/* type offset = {new} */"

    parameter = re.compile(r"(NdrFcShort\(0x[0-9a-f]+\),\s*/\* flags: [^*]*out[^*]*\*/\s*"
                           r"NdrFcShort\(0x[0-9a-f]+\),\s*/\* stack offset = \d+ \*/\s*)"
                           r"NdrFcShort\(0x[0-9a-f]+\),\s*/\* type offset = (\d+) \*/")
    text = parameter.sub(repoint, text)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    print(f"{path}: {fixed} [out] string parameter(s) repointed")


if __name__ == "__main__":
    main(sys.argv[1])

#!/usr/bin/env python3
"""Checks the declarations for other languages against the export table.

usage: check_bindings.py Quell.def bindings.md Quell.pas

Every block (VB, C#, Python, NSIS, Inno Setup, AutoIt, PowerShell in the
Markdown file; the Pascal unit) must bind each of the 36 exports by name exactly
once, with the argument count of the export table. A declaration bound by
ordinal must name the export of that ordinal with the suffix ByOrdinal and take
its argument count; the Python table must give each export its ordinal. A
declaration that asks for cdecl (NSIS ?c, AutoIt :cdecl) or lacks stdcall
(Inno Setup) binds nothing, so its export counts as missing.
"""
import ast
import re
import sys


def read_export_table(path):
    exports = {}
    for line in open(path, encoding="utf-8"):
        match = re.match(r"\s*(\w+)@(\d+)\s+@(\d+)", line)
        if match:
            exports[match[1]] = (int(match[3]), int(match[2]) // 4)
    return exports


def split_top_level(text, separator):
    """Splits at separators outside brackets; drops empty parts."""
    parts, depth, current = [], 0, ""
    for char in text:
        if char in "([":
            depth += 1
        elif char in ")]":
            depth -= 1
        if char == separator and depth == 0:
            parts.append(current)
            current = ""
        else:
            current += char
    parts.append(current)
    return [part.strip() for part in parts if part.strip()]


def balanced(text, start):
    """The text inside the parentheses that open at text[start]."""
    depth = 0
    for index in range(start, len(text)):
        depth += {"(": 1, ")": -1}.get(text[index], 0)
        if depth == 0:
            return text[start + 1:index]
    raise ValueError("unbalanced parentheses")


def code_blocks(markdown, language):
    return re.findall(r"^```" + language + r"\n(.*?)^```", markdown, re.S | re.M)


# Each parser yields (declared name, bound to: name or ordinal, argument count).

def vb_declarations(code):
    code = code.replace(" _\n", " ")
    for match in re.finditer(r'Declare\s+(?:PtrSafe\s+)?(?:Function|Sub)\s+(\w+)\s+Lib\s+"Quell\.dll"'
                             r'(?:\s+Alias\s+"([^"]+)")?\s*\(', code):
        alias = match[2] or match[1]
        target = int(alias[1:]) if alias.startswith("#") else alias
        yield match[1], target, len(split_top_level(balanced(code, match.end() - 1), ","))


def csharp_declarations(code):
    for match in re.finditer(r"\[DllImport\(", code):
        attribute = balanced(code, match.end() - 1)
        declaration = re.compile(r"static\s+extern\s+[\w.]+\s+(\w+)\s*\(").search(code, match.end())
        entry = re.search(r'EntryPoint\s*=\s*"([^"]+)"', attribute)
        name = declaration[1]
        target = entry[1] if entry else name
        target = int(target[1:]) if target.startswith("#") else target
        yield name, target, len(split_top_level(balanced(code, declaration.end() - 1), ","))


def python_declarations(code):
    for node in ast.walk(ast.parse(code)):
        if isinstance(node, ast.Assign) and getattr(node.targets[0], "id", None) == "PROTOTYPES":
            for key, value in zip(node.value.keys, node.value.values):
                ordinal, _, argtypes = value.elts
                yield key.value, key.value, len(argtypes.elts), ordinal.value


def pascal_argument_count(parameters):
    """Arguments of a Pascal parameter list such as '(a, b: DWORD; var c: BOOL)'."""
    count = 0
    for group in split_top_level((parameters or "()")[1:-1], ";"):
        names = group.split(":")[0]
        count += len(names.replace("var ", "").replace("const ", "").split(","))
    return count


def pascal_declarations(code):
    pattern = re.compile(r"\b(?:function|procedure)\s+(\w+)\s*(\([^)]*\))?\s*(?::\s*\w+)?\s*;\s*stdcall;"
                         r"\s*external\s+QuellDll\s+(?:name\s+'(\w+)'|index\s+(\d+))", re.I | re.S)
    for match in pattern.finditer(code):
        yield match[1], match[3] or int(match[4]), pascal_argument_count(match[2])


def nsis_declarations(code):
    """!define Quell_<name> '"${QUELL_DLL}"::<export or #ordinal>(<types>) <result type>'"""
    pattern = re.compile(r"""^!define\s+Quell_(\w+)\s+'"\$\{QUELL_DLL\}"::(#\d+|\w+)\(([^)]*)\)\s*\w+'""", re.M)
    for match in pattern.finditer(code):
        target = int(match[2][1:]) if match[2].startswith("#") else match[2]
        yield match[1], target, len(split_top_level(match[3], ","))


def inno_declarations(code):
    pattern = re.compile(r"\b(?:function|procedure)\s+(\w+)\s*(\([^)]*\))?\s*(?::\s*\w+)?\s*;\s*"
                         r"external\s+'(\w+)@(?:files:)?[^' ]*Quell\.dll\s+stdcall\b[^']*'", re.I | re.S)
    for match in pattern.finditer(code):
        yield match[1], match[3], pascal_argument_count(match[2])


def autoit_declarations(code):
    """Func Quell_<name>(...) whose DllCall(dll, result type, export or ordinal, type, value, ...);
    a type without its value (or a value without its type) counts as -1 arguments."""
    code = code.replace(" _\n", " ")
    for match in re.finditer(r"^Func\s+Quell_(\w+)\s*\(", code, re.M):
        body_end = code.find("EndFunc", match.end())
        call = re.compile(r"\bDllCall\(").search(code, match.end(), body_end)
        if call is None:
            continue
        parts = split_top_level(balanced(code, call.end() - 1), ",")
        if len(parts) < 3 or ":cdecl" in parts[1].lower() or not re.fullmatch(r'"\w+"|\d+', parts[2]):
            continue
        target = parts[2].strip('"') if parts[2].startswith('"') else int(parts[2])
        pairs, unpaired = divmod(len(parts) - 3, 2)
        yield match[1], target, -1 if unpaired else pairs


def check(language, declarations, exports):
    problems, bound = [], {}
    by_ordinal = {ordinal: name for name, (ordinal, _) in exports.items()}
    for declared, target, count, *ordinal in declarations:
        if isinstance(target, int):
            export = by_ordinal.get(target)
            if export is None or declared != export + "ByOrdinal":
                problems.append(f"{declared}: ordinal {target} is {export}")
                continue
        else:
            export = target
            if export not in exports:
                problems.append(f"{declared}: no export {export}")
                continue
            bound[export] = bound.get(export, 0) + 1
        if count != exports[export][1]:
            problems.append(f"{declared}: {count} arguments, {export} takes {exports[export][1]}")
        if ordinal and ordinal[0] != exports[export][0]:
            problems.append(f"{declared}: ordinal {ordinal[0]}, {export} is at {exports[export][0]}")
    for export in exports:
        if bound.get(export, 0) != 1:
            problems.append(f"{export} bound by name {bound.get(export, 0)} times")
    for problem in problems:
        print(f"{language}: {problem}")
    print(f"{language}: {len(bound)} exports by name, {'OK' if not problems else 'MISMATCH'}")
    return not problems


def main(def_path, markdown_path, pascal_path):
    exports = read_export_table(def_path)
    if len(exports) != 36:
        print(f"{def_path}: {len(exports)} exports, expected 36")
        return 1
    markdown = open(markdown_path, encoding="utf-8").read()
    blocks = {"vb": vb_declarations, "vba": vb_declarations, "csharp": csharp_declarations,
              "python": python_declarations, "nsis": nsis_declarations, "innosetup": inno_declarations,
              "autoit": autoit_declarations, "powershell": csharp_declarations}
    ok = True
    for language, parse in blocks.items():
        found = code_blocks(markdown, language)
        if len(found) != 1:
            print(f"{language}: {len(found)} blocks, expected 1")
            ok = False
            continue
        ok &= check(language, list(parse(found[0])), exports)
    ok &= check("pascal", list(pascal_declarations(open(pascal_path, encoding="utf-8").read())), exports)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))

#!/usr/bin/env python3
"""Checks that no source of src/ or sim/ passes 600 lines, and no function 80.

Usage: tests/lengths.py REPOSITORY [FILE ...]
A function is counted from the line of its opening brace to the line of its
closing one, both included; a lambda or a local class inside it is part of
it. Prints each file or function over its limit, and exits 1 if any is.
"""
import pathlib
import re
import sys

FILE_LIMIT = 600
FUNCTION_LIMIT = 80

# Comments, string and character literals (raw strings too), and preprocessor
# lines, replaced by blanks of the same lines so braces inside them do not
# count and line numbers stay right.
TOKENS = re.compile(
    r'R"(?P<delim>[^()\\\s]{0,16})\(.*?\)(?P=delim)"'
    r'|"(?:\\.|[^"\\\n])*"'
    r"|'(?:\\.|[^'\\\n])*'"
    r"|//[^\n]*"
    r"|/\*.*?\*/"
    r"|^[ \t]*#(?:\\\n|[^\n])*",
    re.DOTALL | re.MULTILINE)


def blank(match):
    return re.sub(r"[^\n]", " ", match.group(0))


def code_of(text):
    return TOKENS.sub(blank, text)


TYPE_WORDS = {"class", "struct", "union", "enum"}


def opens_function(statement):
    """Whether the text before a brace at namespace or class level heads a function body."""
    words = re.findall(r"[A-Za-z_]\w*|\S", statement)
    # A leading template<...> says nothing about what follows it.
    while words[:2] == ["template", "<"]:
        depth, i = 0, 1
        for i in range(1, len(words)):
            depth += {"<": 1, ">": -1}.get(words[i], 0)
            if depth == 0:
                break
        words = words[i + 1:]
    words = [w for w in words if w not in ("typedef", "extern", "inline", "static")]
    if not words or words[0] in TYPE_WORDS or words[0] == "namespace":
        return False
    if words[0] == '"':  # extern "C" {
        return False
    return ")" in words


def functions_of(code):
    """(first line, last line, name) of every function body at namespace or class level."""
    found = []
    heads = {}
    # Each open brace: (kind, line); kind is "scope" (namespace, class, extern
    # block), "function", "member" (a member's braces in a constructor's list)
    # or "other" (an initializer, an enum's list).
    stack = []
    statement_start = 0
    line = 1
    parens = 0
    for index, char in enumerate(code):
        if char == "\n":
            line += 1
        elif char in "([":
            parens += 1
        elif char in ")]":
            parens -= 1
        elif char == "{":
            inside = any(kind != "scope" for kind, _ in stack)
            if inside or parens > 0:
                stack.append(("other", line))
            else:
                statement = code[statement_start:index]
                if (re.search(r"\)\s*(noexcept\s*)?:(?!:)", statement)
                        and re.search(r"[\w>]\s*$", statement)):
                    stack.append(("member", line))  # m_x{...} in a constructor's list
                    continue
                if opens_function(statement):
                    stack.append(("function", line))
                    heads[line] = statement
                elif re.match(r"\s*(template\s*<.*>\s*)?(class|struct|union|namespace|extern)\b",
                              statement, re.DOTALL) or re.search(r"\bnamespace\b", statement):
                    stack.append(("scope", line))
                else:
                    stack.append(("other", line))
            statement_start = index + 1
        elif char == "}":
            if stack:
                kind, first = stack.pop()
                if kind == "function":
                    found.append((first, line, name_of(heads[first])))
                if kind == "member":
                    continue
            statement_start = index + 1
        elif char == ";" and parens == 0:
            statement_start = index + 1
        elif char == ":" and not any(kind != "scope" for kind, _ in stack):
            # public: / private: in a class; a constructor's list keeps its text.
            if re.search(r"\b(public|private|protected)\s*$", code[statement_start:index]):
                statement_start = index + 1
    return found


def name_of(statement):
    """The function's name as its head gives it, for the report."""
    head = " ".join(statement.split())
    name = re.search(r"([~\w:]+|operator\s*\S+?)\s*\(", head)
    if not name:
        return "a function"
    if name.group(1).isupper():  # TEST(Suite, Name)
        return head[name.start():head.find(")", name.end()) + 1]
    return name.group(1)


def check(root, paths):
    broken = []
    for path in paths:
        relative = path.relative_to(root)
        text = path.read_text(encoding="utf-8", errors="replace")
        count = text.count("\n") + (0 if text.endswith("\n") or not text else 1)
        if count > FILE_LIMIT:
            broken.append(f"{relative}: {count} lines, over {FILE_LIMIT}")
        code = code_of(text)
        for first, last, name in functions_of(code):
            length = last - first + 1
            if length > FUNCTION_LIMIT:
                broken.append(f"{relative}:{first}: {name} is {length} lines, "
                              f"over {FUNCTION_LIMIT}")
    return broken


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    if len(sys.argv) > 2:
        paths = [pathlib.Path(p).resolve() for p in sys.argv[2:]]
    else:
        paths = sorted(p for base in ("src", "sim") for p in (root / base).rglob("*")
                       if p.suffix in (".h", ".cpp"))
    broken = check(root, paths)
    for entry in broken:
        print(entry)
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())

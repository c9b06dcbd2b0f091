#!/usr/bin/env python3
"""Writes a manual page from its hand-written template.

The template is roff with placeholders: @VERSION@ and @DATE@ always; with --cli, the
parts that tembrel-cli's own help says, so that the page cannot drift from it:
@SYNOPSIS@ (one line per subcommand), @OPTIONS@ (the program's own options),
@SHORT_FORM@ (the closing paragraph of --help) and @COMMANDS@ (one subsection per
subcommand with its description, arguments and options).

Usage: make_manual_page.py TEMPLATE OUTPUT --version V --date YYYY-MM-DD [--cli PROGRAM]
"""
import argparse
import re
import subprocess
import sys


def roff(text):
    """Text as roff shows it literally: backslashes and minus signs escaped, no line
    taken for a request."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return re.sub(r"^([.'])", r"\\&\1", text, flags=re.M)


def parse_help(text):
    """Splits a help text into its description, usage, item sections and closing text.
    Items are [name, description lines], as the help lists them two spaces in; a line
    further in continues the item's description."""
    help = {"description": [], "usage": "", "sections": {}, "footer": []}
    section = None
    items = None
    for line in text.splitlines():
        if line.startswith("Usage: "):
            help["usage"] = line[len("Usage: "):]
        elif re.fullmatch(r"[A-Z]\w*:", line):
            section = line[:-1]
            items = help["sections"].setdefault(section, [])
        elif not line.strip():
            section = None
        elif section and re.match(r"  \S", line):
            name_and_text = re.split(r"\s{2,}", line.strip(), maxsplit=1)
            items.append([name_and_text[0], name_and_text[1:]])
        elif section and line.startswith("    ") and items:
            items[-1][1].append(line.strip())
        elif help["usage"]:
            help["footer"].append(line.strip())
        else:
            help["description"].append(line.strip())
    return help


def run_help(program, *args):
    return subprocess.run([program, *args, "--help"], check=True, capture_output=True,
                          text=True).stdout


def bold_words(usage):
    """A usage line with the program and subcommand bold and the placeholders italic."""
    words = []
    for word in usage.split():
        bare = word.strip("[].")
        if bare.isupper():
            words.append(roff(word).replace(bare, "\\fI" + bare + "\\fR"))
        elif word.startswith("["):
            words.append(roff(word))
        else:
            words.append("\\fB" + roff(word) + "\\fR")
    return " ".join(words)


def option_item(name, lines):
    """One option or argument as a tagged paragraph: "-o,--output TEXT" gives the
    option names in bold and the value's placeholder in italics; the description keeps
    its lines."""
    names, _, value = name.partition(" ")
    if names.startswith("-"):
        tag = ", ".join("\\fB" + roff(n) + "\\fR" for n in names.split(","))
        if value:
            tag += " \\fI" + roff(value) + "\\fR"
    else:  # an argument: "PATH TEXT ... REQUIRED"
        tag = "\\fI" + roff(names) + "\\fR" + ("..." if "..." in value else "")
    return ".TP\n" + tag + "\n" + "\n.br\n".join(roff(l) for l in lines) + "\n"


def cli_parts(program):
    main = parse_help(run_help(program))
    program_options = main["sections"].get("Options", [])
    synopsis, commands = [], []
    for name, summary in main["sections"].get("Subcommands", []):
        sub = parse_help(run_help(program, name))
        synopsis.append(bold_words(sub["usage"]) + "\n.br\n")
        commands.append('.SS "' + roff(sub["usage"]) + '"\n' +
                        roff(" ".join(sub["description"]) or summary) + "\n")
        for section in ("Positionals", "Options"):
            for option in sub["sections"].get(section, []):
                # Options every subcommand takes (--help) are said once, for the program.
                if option not in program_options:
                    commands.append(option_item(*option))
        # What a subcommand's help says after its options, unless it is the program's.
        if sub["footer"] != main["footer"]:
            commands.append(".PP\n" + roff(" ".join(sub["footer"])) + "\n")
    options = [option_item(*o) for o in program_options]
    return {
        "@SYNOPSIS@": "".join(synopsis),
        "@OPTIONS@": "".join(options),
        "@SHORT_FORM@": roff(" ".join(main["footer"])) + "\n",
        "@COMMANDS@": "".join(commands),
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("template")
    parser.add_argument("output")
    parser.add_argument("--version", required=True)
    parser.add_argument("--date", required=True)
    parser.add_argument("--cli")
    args = parser.parse_args()

    with open(args.template, encoding="utf-8") as f:
        page = f.read()
    parts = {"@VERSION@": args.version, "@DATE@": args.date}
    if args.cli:
        parts.update(cli_parts(args.cli))
    for placeholder, text in parts.items():
        page = page.replace(placeholder + "\n", text).replace(placeholder, text.rstrip("\n"))
    left = re.findall(r"@[A-Z_]+@", page)
    if left:
        sys.exit(f"{args.template}: no text for {', '.join(sorted(set(left)))}")
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(page)


if __name__ == "__main__":
    main()

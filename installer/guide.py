#!/usr/bin/env python3
"""The guide as shipped: README.ja.md as one HTML page, its pictures inline as data: URIs.

Usage: guide.py README.ja.md OUT.html
Pictures are looked up beside the Markdown file; a missing one is an error, so that the page
never ships with a broken image. The output depends only on the input bytes.
"""
import base64
import html
import pathlib
import re
import sys

import markdown

MIME = {".png": "image/png", ".jpg": "image/jpeg", ".jpeg": "image/jpeg", ".gif": "image/gif"}

STYLE = """
body { margin: 0 auto; max-width: 54em; padding: 1.5em 2em 4em; line-height: 1.75;
  font-family: "Yu Gothic UI", "Yu Gothic", YuGothic, "Meiryo UI", Meiryo, "Hiragino Sans",
    "MS PGothic", "IPAPGothic", sans-serif;
  color: #222; background: #fff; }
h1 { font-size: 1.8em; border-bottom: 3px solid #2b6cb0; padding-bottom: .2em; }
h2 { font-size: 1.4em; border-left: 6px solid #2b6cb0; padding-left: .5em; margin-top: 2em; }
h3 { font-size: 1.15em; margin-top: 1.6em; }
img { max-width: 100%; height: auto; border: 1px solid #ccc; }
code { font-family: Consolas, "MS Gothic", monospace; background: #f3f3f3; padding: 0 .25em; }
pre { background: #f3f3f3; padding: .8em 1em; overflow-x: auto; }
pre code { padding: 0; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: .3em .7em; vertical-align: top; }
th { background: #eef3f8; }
"""


# Japanese has no spaces between words: a line break between two Japanese characters is no
# space either (browsers would show one).
CJK = "\u3000-\u30ff\u3400-\u9fff\uff00-\uffef"
SOFT_BREAK = re.compile(f"(?<=[{CJK}])\n[ \t]*(?=[{CJK}])")


def join_lines(body):
    parts = re.split(r"(<pre>.*?</pre>)", body, flags=re.S)
    return "".join(p if p.startswith("<pre>") else SOFT_BREAK.sub("", p) for p in parts)


def inline_pictures(body, base):
    def repl(m):
        src = html.unescape(m.group(2))
        if re.match(r"[a-z]+:", src):
            return m.group(0)
        path = base / src
        mime = MIME.get(path.suffix.lower())
        if mime is None or not path.is_file():
            sys.exit(f"guide.py: picture {src} not found or not a picture")
        data = base64.b64encode(path.read_bytes()).decode("ascii")
        return f"{m.group(1)}data:{mime};base64,{data}{m.group(3)}"

    return re.sub(r'(<img[^>]*?\ssrc=")([^"]+)(")', repl, body)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: guide.py README.ja.md OUT.html")
    source = pathlib.Path(sys.argv[1])
    text = source.read_text(encoding="utf-8")
    # The guide indents a numbered step's continuation by three spaces; Markdown wants four.
    body = markdown.markdown(
        re.sub(r"(?m)^   (?=\S)", "    ", text), extensions=["tables", "fenced_code", "sane_lists"]
    )
    body = inline_pictures(join_lines(body), source.parent)
    heading = re.search(r"^# (.+)$", text, re.M)
    title = html.escape(heading.group(1).strip() if heading else "Tessary")
    page = (
        '<!DOCTYPE html>\n<html lang="ja">\n<head>\n<meta charset="utf-8">\n'
        '<meta name="viewport" content="width=device-width, initial-scale=1">\n'
        f"<title>{title}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n{body}\n</body>\n</html>\n"
    )
    pathlib.Path(sys.argv[2]).write_bytes(page.encode("utf-8"))


if __name__ == "__main__":
    main()

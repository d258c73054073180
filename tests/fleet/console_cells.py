#!/usr/bin/env python3
"""Reads a console page (as the browser's DOM dump gives it) on standard
input and prints what the fleet test asserts, one line each, with the
data- attributes the consoles set ("-" for one no element around sets):

    row INSTANCE MODEM                      a <tr data-instance=...>
    outcome INSTANCE MODEM ENDED TEST OUTCOME
    uncoloured INSTANCE MODEM TEST          an outcome cell without its colour class
    alert INSTANCE MODEM NAME
    loads TAG                               a tag that would fetch something

ENDED is a history row's run (data-ended), "-" elsewhere.
"""

import html.parser
import sys

CONTEXT = ("data-instance", "data-modem", "data-ended")
FETCHING = {"script", "link", "img", "iframe", "object", "embed", "video", "audio", "source"}
VOID = {"br", "hr", "img", "link", "meta", "input", "source", "col", "area", "base", "wbr"}


class Cells(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.stack = []  # (tag, {context attribute: value}) of the open elements

    def context(self, name):
        for _, attrs in reversed(self.stack):
            if name in attrs:
                return attrs[name] or "-"
        return "-"

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag in FETCHING or "src" in attrs:
            print("loads", tag)
        self.stack.append((tag, {k: v for k, v in attrs.items() if k in CONTEXT}))
        instance, modem, ended = (self.context(name) for name in CONTEXT)
        if tag == "tr" and "data-instance" in attrs:
            print("row", instance, modem)
        if "data-outcome" in attrs:
            test, outcome = attrs.get("data-test") or "-", attrs["data-outcome"]
            print("outcome", instance, modem, ended, test, outcome or "-")
            if (outcome or "missing") not in (attrs.get("class") or "").split():
                print("uncoloured", instance, modem, test)
        if "data-alert" in attrs:
            print("alert", instance, modem, attrs["data-alert"])
        if tag in VOID:
            self.stack.pop()

    def handle_endtag(self, tag):
        # Close up to the matching element; the DOM dump is well formed.
        for i in range(len(self.stack) - 1, -1, -1):
            if self.stack[i][0] == tag:
                del self.stack[i:]
                break


Cells().feed(sys.stdin.read())

"""The launcher config file's text.

The format is line-oriented: a property is "name=value" up to the end of its
line, and a value is taken literally after the first '='. The names written
here hold no '=' (the one escape, "\\=", is for names), and a value never
starts a line, so neither ';' nor '[' at its start means anything. What a
value cannot hold is what would end or break its line: LF, CR (dropped
before LF), NUL (ends the C string), Ctrl-Z (ends a file read in text mode)
and text that is not UTF-8. Those are refused, never mangled.
"""

from . import Refusal

MACROS = ("$APPDIR", "$ROOTDIR", "$BINDIR")
_UNREPRESENTABLE = {"\n": "a line break", "\r": "a carriage return", "\0": "a NUL character",
                    "\x1a": "a Ctrl-Z character"}


def shown(text):
    """A value as a message shows it: control characters escaped."""
    return "\"%s\"" % text.encode("unicode_escape", errors="backslashreplace").decode("ascii") \
        if any(ord(c) < 32 or 0xD800 <= ord(c) < 0xE000 for c in text) else "\"%s\"" % text


def check_value(what, value):
    """Refuses a value that one config line cannot carry."""
    for character, name in _UNREPRESENTABLE.items():
        if character in value:
            raise Refusal("%s %s holds %s, which the config file cannot represent "
                          "(one value is one line)" % (what, shown(value), name))
    try:
        value.encode("utf-8")
    except UnicodeEncodeError:
        raise Refusal("%s %s is not valid text (its bytes are not UTF-8)" % (what, shown(value)))
    return value


class Config:
    """The sections and properties of one config file, in file order."""

    def __init__(self):
        self.sections = []

    def add(self, section, name, value):
        check_value("the %s value" % name, value)
        for existing, properties in self.sections:
            if existing == section:
                properties.append((name, value))
                return
        self.sections.append((section, [(name, value)]))

    def text(self, title):
        lines = ["; %s: launcher config file (UTF-8), written by vantorix-image" % title]
        for section, properties in self.sections:
            lines.append("[%s]" % section)
            lines.extend("%s=%s" % pair for pair in properties)
        return "\n".join(lines) + "\n"

    def data(self, title):
        return self.text(title).encode("utf-8")

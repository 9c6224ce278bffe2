"""The lines a log is expected to hold, from log_lines.txt (the one source
of the tests' expected log texts), and the banner from project(VERSION)."""
import os
import re

SUPPORT = os.path.dirname(os.path.abspath(__file__))


def _templates():
    templates = {}
    with open(os.path.join(SUPPORT, "log_lines.txt")) as text:
        for line in text.read().splitlines():
            name, colon, template = line.partition(": ")
            if colon and not line.startswith("#"):
                templates[name] = template.replace("\\t", "\t")
    return templates


TEMPLATES = _templates()


def line(name, **values):
    """The template `name` with each {placeholder} filled."""
    text = TEMPLATES[name]
    for placeholder, value in values.items():
        text = text.replace("{" + placeholder + "}", str(value))
    return text


def program_banner():
    """The log's first line, from the version the build takes from project(VERSION)."""
    with open(os.path.join(SUPPORT, "..", "..", "CMakeLists.txt")) as cmake:
        return "SkarvelConfig " + re.search(r"project\(SkarvelConfig VERSION ([0-9.]+)", cmake.read()).group(1)


def not_found(number):
    return line("notFound", number=number)


def without_mode(number):
    return line("withoutMode", number=number)


def not_set(number):
    return line("notSet", number=number)


def load_failed(path):
    return line("loadFailed", path=path)

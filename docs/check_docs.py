#!/usr/bin/env python3
"""After Doxygen: prints its warnings and every public class of the reference
that carries no description (as "file:line: warning: ..." lines), and fails
when there is any.
    check_docs.py XML-DIR WARNINGS-LOG"""
import pathlib
import sys
import xml.etree.ElementTree as ET


def has_text(element):
    return element is not None and "".join(element.itertext()).strip() != ""


def undocumented_classes(xml_dir):
    for path in sorted(pathlib.Path(xml_dir).glob("*.xml")):
        compound = ET.parse(path).getroot().find("compounddef")
        if compound is None or compound.get("kind") not in ("class", "struct", "union"):
            continue
        if compound.get("prot", "public") != "public":
            continue
        if has_text(compound.find("briefdescription")) or has_text(compound.find("detaileddescription")):
            continue
        location = compound.find("location")
        yield (f"{location.get('file')}:{location.get('line')}: warning: {compound.get('kind')} "
               f"{compound.findtext('compoundname')} is not documented")


if __name__ == "__main__":
    warnings = pathlib.Path(sys.argv[2]).read_text().splitlines()
    warnings += undocumented_classes(sys.argv[1])
    print("\n".join(warnings))
    sys.exit(1 if warnings else 0)

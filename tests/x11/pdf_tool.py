#!/usr/bin/python3
"""Standard-library PDF helpers for the window test and the stamping benchmark.
    pdf_tool.py document OUT PAGES [KB]
                                     an A4 document of PAGES pages, a line of text on each, and
                                     with KB a grey picture of KB kilobytes on each too
    pdf_tool.py place FILE           the last annotation's place on an A4 page as
                                     "left top width" in millimetres from the top-left corner
"""
import os
import re
import sys

MM = 25.4 / 72


def document(path, pages, kb=0):
    objects = {1: b"<< /Type /Catalog /Pages 2 0 R >>",
               3: b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"}
    side = int((kb * 1024) ** 0.5)
    kids = []
    for i in range(pages):
        page, content, image = 4 + 3 * i, 5 + 3 * i, 6 + 3 * i
        kids.append(f"{page} 0 R")
        draw = f"BT /F1 14 Tf 72 770 Td (Contract, page {i + 1}) Tj ET".encode()
        pictures = ""
        if side:
            draw += b" q 500 0 0 700 50 40 cm /Im Do Q"
            pictures = f"/XObject << /Im {image} 0 R >>"
            pixels = os.urandom(side * side)
            objects[image] = (f"<< /Type /XObject /Subtype /Image /Width {side} /Height {side} "
                              f"/ColorSpace /DeviceGray /BitsPerComponent 8 "
                              f"/Length {len(pixels)} >>\nstream\n").encode() + pixels + b"\nendstream"
        objects[page] = (f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                         f"/Contents {content} 0 R /Resources << /Font << /F1 3 0 R >> "
                         f"{pictures} >> >>").encode()
        objects[content] = f"<< /Length {len(draw)} >>\nstream\n".encode() + draw + b"\nendstream"
    objects[2] = f"<< /Type /Pages /Kids [{' '.join(kids)}] /Count {pages} >>".encode()
    out, offsets = bytearray(b"%PDF-1.7\n"), {}
    for n in sorted(objects):
        offsets[n] = len(out)
        out += f"{n} 0 obj\n".encode() + objects[n] + b"\nendobj\n"
    xref, size = len(out), max(objects) + 1
    out += f"xref\n0 {size}\n0000000000 65535 f\r\n".encode()
    out += b"".join((f"{offsets[n]:010d} 00000 n\r\n" if n in offsets
                     else "0000000000 00001 f\r\n").encode() for n in range(1, size))
    out += f"trailer\n<< /Size {size} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n".encode()
    open(path, "wb").write(out)


def place(path):
    x0, y0, x1, y1 = map(float, re.findall(rb"/Rect \[([^\]]*)\]", open(path, "rb").read())[-1].split())
    return f"{x0 * MM:.4f} {(842 - y1) * MM:.4f} {(x1 - x0) * MM:.4f}"


if __name__ == "__main__":
    if sys.argv[1] == "document":
        document(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]) if len(sys.argv) > 4 else 0)
    else:
        print(place(sys.argv[2]))

// Python str to UTF-16 code units and back. A str holds code points: one
// outside the BMP is two units, a surrogate pair; a lone surrogate, which a
// str may hold, is one unit. Back in a str, a high surrogate followed by a
// low one is one code point again and any other surrogate stays as it is.
#pragma once

#include <Python.h>

#include <cstddef>
#include <string>
#include <string_view>

// The code points of a str, read without the GIL while the str is held.
struct StrView {
    int kind;          // PyUnicode_1BYTE_KIND, _2BYTE_ or _4BYTE_
    const void* data;
    size_t length;     // code points
};

// Needs the GIL; raises what Python raised when the str cannot be read.
StrView ViewOfStr(PyObject* str);

// Needs no GIL.
void AppendUtf16(const StrView& str, std::u16string& out);

// The length and widest code point of the str that `units` make.
struct StrShape {
    size_t length = 0;
    Py_UCS4 maxChar = 0;
};
// Needs no GIL.
StrShape ShapeOfUtf16(std::u16string_view units);

// A new str of `shape` (measured by ShapeOfUtf16) filled from `units`. The
// GIL is held to make it; a long str is filled without it, as nobody else
// sees the str until then. Null with a Python error set when memory runs out.
PyObject* NewStr(std::u16string_view units, const StrShape& shape);

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

    // Code points [from, from + count).
    StrView Sub(size_t from, size_t count) const
    {
        return {kind, static_cast<const char*>(data) + from * size_t(kind), count};
    }
    Py_UCS4 At(size_t k) const { return PyUnicode_READ(kind, data, k); }
};

// Needs the GIL; raises what Python raised when the str cannot be read.
StrView ViewOfStr(PyObject* str);

// Needs no GIL.
void AppendUtf16(const StrView& str, std::u16string& out);

// The length and widest code point of the str that a stream of units makes,
// given piece by piece (a surrogate pair may be split between two pieces).
struct StrShape {
    size_t length = 0;
    Py_UCS4 maxChar = 0;
};
class StrMeasure {
public:
    void Add(std::u16string_view units);
    StrShape Shape() const { return m_shape; }

private:
    StrShape m_shape;
    bool m_afterHigh = false; // the last unit was a high surrogate not yet paired
};
// Needs no GIL.
StrShape ShapeOfUtf16(std::u16string_view units);

// Writes a stream of units, given piece by piece as StrMeasure took them,
// into a new str of the shape it measured. Needs no GIL: nobody else sees
// the str until it is full.
class StrFill {
public:
    explicit StrFill(PyObject* str);
    void Put(std::u16string_view units);
    // Writes a high surrogate held back for a low one that never came.
    void Finish();

private:
    int m_kind;
    void* m_data;
    size_t m_at = 0;
    char16_t m_high = 0; // a high surrogate held back, 0 for none
};

// A new str of `shape` (measured by ShapeOfUtf16) filled from `units`. The
// GIL is held to make it; a long str is filled without it, as nobody else
// sees the str until then. Null with a Python error set when memory runs out.
PyObject* NewStr(std::u16string_view units, const StrShape& shape);

#include "PythonText.h"

#include "Surrogates.h"

#include <pybind11/pybind11.h>

#include <cstring>

namespace {

constexpr size_t kFillWithoutGil = size_t(1) << 16;

template <typename Char>
void Fill(Char* out, std::u16string_view units)
{
    for (size_t k = 0; k < units.size(); ++k) {
        const char16_t u = units[k];
        if (sizeof(Char) == 4 && IsHighSurrogate(u) && k + 1 < units.size() && IsLowSurrogate(units[k + 1])) {
            *out++ = Char(0x10000 + ((Py_UCS4(u) - 0xD800) << 10) + (units[k + 1] - 0xDC00));
            ++k;
        } else {
            *out++ = Char(u);
        }
    }
}

} // namespace

StrView ViewOfStr(PyObject* str)
{
    if (PyUnicode_READY(str) != 0) // a str made by the old wchar_t API
        throw pybind11::error_already_set();
    return {int(PyUnicode_KIND(str)), PyUnicode_DATA(str), size_t(PyUnicode_GET_LENGTH(str))};
}

void AppendUtf16(const StrView& str, std::u16string& out)
{
    const size_t start = out.size();
    if (str.kind == PyUnicode_2BYTE_KIND) { // UCS-2: already the units
        out.resize(start + str.length);
        std::memcpy(out.data() + start, str.data, str.length * 2);
    } else if (str.kind == PyUnicode_1BYTE_KIND) {
        out.resize(start + str.length);
        const Py_UCS1* in = static_cast<const Py_UCS1*>(str.data);
        for (size_t k = 0; k < str.length; ++k)
            out[start + k] = in[k];
    } else {
        const Py_UCS4* in = static_cast<const Py_UCS4*>(str.data);
        size_t wide = 0;
        for (size_t k = 0; k < str.length; ++k)
            wide += in[k] > 0xFFFF;
        out.resize(start + str.length + wide);
        char16_t* o = out.data() + start;
        for (size_t k = 0; k < str.length; ++k) {
            const Py_UCS4 c = in[k];
            if (c > 0xFFFF) {
                *o++ = char16_t(0xD800 + ((c - 0x10000) >> 10));
                *o++ = char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                *o++ = char16_t(c);
            }
        }
    }
}

StrShape ShapeOfUtf16(std::u16string_view units)
{
    StrShape shape;
    char16_t widest = 0;
    size_t pairs = 0;
    for (size_t k = 0; k < units.size(); ++k) {
        const char16_t u = units[k];
        widest = u > widest ? u : widest;
        if (IsHighSurrogate(u) && k + 1 < units.size() && IsLowSurrogate(units[k + 1])) {
            ++pairs;
            ++k;
        }
    }
    shape.length = units.size() - pairs;
    shape.maxChar = pairs ? 0x10FFFF : widest;
    return shape;
}

PyObject* NewStr(std::u16string_view units, const StrShape& shape)
{
    PyObject* str = PyUnicode_New(Py_ssize_t(shape.length), shape.maxChar);
    if (!str)
        return nullptr;
    const int kind = PyUnicode_KIND(str);
    void* data = PyUnicode_DATA(str);
    auto fill = [&] {
        if (kind == PyUnicode_1BYTE_KIND)
            Fill(static_cast<Py_UCS1*>(data), units);
        else if (kind == PyUnicode_2BYTE_KIND)
            Fill(static_cast<Py_UCS2*>(data), units);
        else
            Fill(static_cast<Py_UCS4*>(data), units);
    };
    // Taking the GIL back costs more than filling a short str.
    if (units.size() < kFillWithoutGil) {
        fill();
        return str;
    }
    Py_BEGIN_ALLOW_THREADS
    fill();
    Py_END_ALLOW_THREADS
    return str;
}

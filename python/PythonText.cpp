#include "PythonText.h"

#include "Surrogates.h"

#include <pybind11/pybind11.h>

#include <cstring>

namespace {

constexpr size_t kFillWithoutGil = size_t(1) << 16;

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

void StrMeasure::Add(std::u16string_view units)
{
    size_t pairs = 0;
    char16_t widest = 0;
    bool afterHigh = m_afterHigh;
    for (const char16_t u : units) {
        widest = u > widest ? u : widest;
        if (afterHigh && IsLowSurrogate(u)) {
            ++pairs;
            afterHigh = false;
        } else {
            afterHigh = IsHighSurrogate(u);
        }
    }
    m_afterHigh = afterHigh;
    m_shape.length += units.size() - pairs;
    m_shape.maxChar = pairs || m_shape.maxChar == 0x10FFFF ? 0x10FFFF : std::max<Py_UCS4>(m_shape.maxChar, widest);
}

StrShape ShapeOfUtf16(std::u16string_view units)
{
    StrMeasure measure;
    measure.Add(units);
    return measure.Shape();
}

StrFill::StrFill(PyObject* str)
    : m_kind(PyUnicode_KIND(str))
    , m_data(PyUnicode_DATA(str))
{
}

void StrFill::Put(std::u16string_view units)
{
    // Only a str of four-byte kind has pairs to join: the others were
    // measured without any.
    if (m_kind == PyUnicode_2BYTE_KIND) {
        std::memcpy(static_cast<Py_UCS2*>(m_data) + m_at, units.data(), units.size() * 2);
        m_at += units.size();
    } else if (m_kind == PyUnicode_1BYTE_KIND) {
        Py_UCS1* out = static_cast<Py_UCS1*>(m_data) + m_at;
        for (size_t k = 0; k < units.size(); ++k)
            out[k] = Py_UCS1(units[k]);
        m_at += units.size();
    } else {
        Py_UCS4* out = static_cast<Py_UCS4*>(m_data) + m_at;
        char16_t high = m_high;
        for (const char16_t u : units) {
            if (high != 0) {
                if (IsLowSurrogate(u)) {
                    *out++ = 0x10000 + ((Py_UCS4(high) - 0xD800) << 10) + (u - 0xDC00);
                    high = 0;
                    continue;
                }
                *out++ = high;
            }
            high = IsHighSurrogate(u) ? u : 0;
            if (high == 0)
                *out++ = u;
        }
        m_high = high;
        m_at = size_t(out - static_cast<Py_UCS4*>(m_data));
    }
}

void StrFill::Finish()
{
    if (m_high != 0)
        static_cast<Py_UCS4*>(m_data)[m_at++] = m_high;
    m_high = 0;
}

PyObject* NewStr(std::u16string_view units, const StrShape& shape)
{
    PyObject* str = PyUnicode_New(Py_ssize_t(shape.length), shape.maxChar);
    if (!str)
        return nullptr;
    auto fill = [&] {
        StrFill out(str);
        out.Put(units);
        out.Finish();
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

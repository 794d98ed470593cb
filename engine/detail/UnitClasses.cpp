#include "UnitClasses.h"

#include "UnitValues.h"

#include <algorithm>

namespace Details {

std::vector<char16_t> ChooseUnitClasses(const std::vector<uint32_t>& uses, size_t most, std::vector<uint8_t>& classOf,
                                        size_t& used)
{
    std::vector<char16_t> units;
    for (uint32_t u = 1; u < kUnitValues; ++u)
        if (uses[u] != 0)
            units.push_back(char16_t(u));
    used = units.size();
    const size_t classes = std::min(units.size(), most);
    std::partial_sort(units.begin(), units.begin() + classes, units.end(),
                      [&](char16_t a, char16_t b) { return uses[a] > uses[b]; });
    units.resize(classes);
    for (size_t k = 0; k < classes; ++k)
        classOf[units[k]] = uint8_t(k + 1);
    return units;
}

} // namespace Details

#include "platform/collation.h"

#include "platform/win32/wide.h"

namespace kvb {

TNameCompare SystemNameCompare()
{
    return [](const std::string &a, const std::string &b) {
        const std::wstring wa = win32::Wide(a), wb = win32::Wide(b);
        const int order = ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, wa.c_str(),
                                            int(wa.size()), wb.c_str(), int(wb.size()), nullptr, nullptr,
                                            0);
        // CSTR_LESS_THAN, CSTR_EQUAL, CSTR_GREATER_THAN are 1, 2, 3; 0 is a failure, which
        // cannot happen for valid arguments.
        return order == 0 ? a.compare(b) : order - CSTR_EQUAL;
    };
}

} // namespace kvb

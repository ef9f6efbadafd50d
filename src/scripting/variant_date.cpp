#include "scripting/variant_date.h"

namespace pelkary {

void WriteDate(const FILETIME& utc, VARIANT* out) noexcept {
    SYSTEMTIME universal, local;
    double date = 0;
    V_VT(out) = VT_NULL;
    if ((utc.dwLowDateTime == 0 && utc.dwHighDateTime == 0) || !FileTimeToSystemTime(&utc, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local) || !SystemTimeToVariantTime(&local, &date))
        return;
    V_VT(out) = VT_DATE;
    V_DATE(out) = date;
}

}  // namespace pelkary

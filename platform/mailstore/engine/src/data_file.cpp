#include "data_file.h"

#include <algorithm>

namespace mailstore {

bool DataFile::Write(uint64_t offset, std::string_view source, bool sync) {
  if (source.empty()) return true;
  const uint64_t need = offset + source.size();
  int64_t size = file_.Size();
  if (size < 0) return false;
  if (static_cast<uint64_t>(size) < need) {
    constexpr uint64_t kStep = 16u << 20;
    const uint64_t target = (need + kStep - 1) / kStep * kStep;
    static const std::string zeros(1u << 20, '\0');
    for (uint64_t at = static_cast<uint64_t>(size); at < target; at += zeros.size()) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(zeros.size(), target - at));
      if (!file_.WriteAt(at, zeros.data(), n)) return false;
    }
  }
  return file_.WriteAt(offset, source.data(), source.size()) && (!sync || file_.Sync());
}

}  // namespace mailstore

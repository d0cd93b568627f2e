// The user.reg reader on arbitrary bytes: it must neither crash nor grow
// without bound, and lookups on whatever it built must hold up.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/registry/user_reg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto hive = platform::ParseUserReg(text);
  for (std::u16string_view path :
       {u"", u"Software", u"Software\\Sony\\Community Place Browser\\Install", u"K", u"k\\\\K\\", u"\\K"}) {
    if (const platform::UserRegKey* key = hive->FindKey(path)) {
      for (std::u16string_view name : {u"", u"Directory", u"V", u"v"}) {
        if (const platform::UserRegValue* value = key->FindValue(name)) {
          // The name comes back as first spelt, equal ignoring case.
          if (value->name.size() != name.size()) __builtin_trap();
        }
      }
    }
  }
  return 0;
}

#include "hid/DeviceGroups.h"

#include "hid/HidInterface.h"

bool MatchesGroup(DeviceGroup group, std::string_view path) {
  const auto matchesAny = [path](const auto& patterns) {
    for (const char* pattern : patterns) {
      if (PathContainsNoCase(path, pattern)) return true;
    }
    return false;
  };
  return group == DeviceGroup::A ? matchesAny(kGroupAPathPatterns)
                                 : matchesAny(kGroupBPathPatterns);
}

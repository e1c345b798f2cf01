#include "platform/Resources.h"

#include <charconv>

#include "platform/EmbeddedResource.h"

namespace platform {

std::optional<ResourceBytes> FindResource(std::string_view type, int id) {
  for (const EmbeddedResource* r = kEmbeddedResources; r->type != nullptr; ++r) {
    if (r->id == id && type == r->type) {
      return ResourceBytes(r->begin, static_cast<std::size_t>(r->end - r->begin));
    }
  }
  return std::nullopt;
}

std::optional<ResourceBytes> FindResource(std::string_view type, std::string_view name) {
  if (name.size() < 2 || name.front() != '#') return std::nullopt;
  const std::string_view digits = name.substr(1);
  int id = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
  if (error != std::errc() || end != digits.data() + digits.size() || id < 0 || id > 0xFFFF) {
    return std::nullopt;
  }
  return FindResource(type, id);
}

}  // namespace platform

#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace platform {

using ResourceBytes = std::span<const std::uint8_t>;

// Finds an embedded resource by type and numeric id; the bytes are exactly those of the file
// under resources/ and stay valid for the life of the process. Not found is an empty optional.
std::optional<ResourceBytes> FindResource(std::string_view type, int id);

// The same by name: "#3032" names id 3032. Any other form of name finds nothing.
std::optional<ResourceBytes> FindResource(std::string_view type, std::string_view name);

}  // namespace platform

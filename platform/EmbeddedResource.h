#pragma once

namespace platform {

// One file embedded into the executable at build time (see resources/CMakeLists.txt).
struct EmbeddedResource {
  const char* type;  // "HEX", "TEXTFILE", "BITMAP"; null ends the table
  int id;
  const unsigned char* begin;
  const unsigned char* end;
};

// The build's table, ended by an entry whose type is null.
extern const EmbeddedResource kEmbeddedResources[];

}  // namespace platform

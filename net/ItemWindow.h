// Helpers shared by the item and PDU readers: every item is parsed inside its own window, an
// in-memory Buffer holding exactly the bytes its length declares. Internal to net/.
#pragma once

#include <cstdint>
#include <string>

#include "net/Buffer.h"

// Reads the reserved byte and the 16-bit length from `link`, then that many bytes into
// `window`. False when `link` holds fewer: the window runs past its parent.
bool ReadItemWindow(Buffer& link, uint8_t& reserved, uint16_t& length, Buffer& window);
// Moves `length` bytes of `link` into `window`.
bool ReadWindowBytes(Buffer& link, uint32_t length, Buffer& window);
// Reads a text of `length` bytes; false (and the window marked failed) when fewer remain.
bool ReadText(Buffer& window, uint32_t length, std::string& text);

// What a reading becomes on the broker: a retained message on the topic of
// its item, a UTF-8 JSON object of the value, the item's text, the quality
// word, the UTC time and where it came from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "poll/reading.h"

namespace quorvel::mqtt {

// The value field as a JSON number when it is a decimal number (optional
// spaces around, an optional sign, digits with an optional point): "+023.50"
// gives "23.50", ".5" gives "0.5". Anything else gives nullopt.
std::optional<std::string> JsonNumber(std::string_view field);

// "yyyy-mm-ddThh:nn:ss.zzzZ" of nanoseconds of UTC since 1970.
std::string UtcTimeText(std::int64_t utc_ns);

// `root` + "/" + `name`, with one slash between them whatever `root` ends with.
std::string ItemTopic(std::string_view root, std::string_view name);

// {"value": ..., "text": ..., "quality": ..., "time": ..., "device": ...,
// "channel": ...}: the text from Windows-1251 to UTF-8; the time when the
// reply ended or the exchange failed.
std::string ReadingPayload(const poll::Reading& reading, std::string_view quality);

}  // namespace quorvel::mqtt

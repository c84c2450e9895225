// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The four queries the cutter answers, each stated once: the bytes that ask, the name the
// log gives the request, the reply's kind and the fields a whole one holds, and how it is
// read. The senders, the poll cycle, the reply checks and the shell all read this table.

#include "protocol/commands.h"
#include "protocol/cutter_settings.h"
#include "protocol/reply_decoding.h"

#include <cstddef>
#include <span>
#include <string_view>

namespace protocol {

// Reads a reply into `settings` field by field (the decoders of reply_decoding.h).
using TReplyDecoder = void (*)(std::string_view reply, CutterSettings& settings,
                               const TFieldLog& log);
// Whether a field, as it came, is in form where the decoder reads a number.
using TFieldRule = bool (*)(std::size_t index, std::string_view field);

struct TQuery {
    TCommandCode Code;
    std::string_view Command; // the bytes that ask
    const char* Name;         // what the operator asked for, as the log names it
    const char* ReplyKind;    // the reply, as the shell names it ("one whole size reply")
    std::size_t Fields;       // the fields a whole reply holds
    bool FieldsMayFollow;     // more fields may follow, unread
    TFieldRule FieldInForm;
    TReplyDecoder Decode;
};

// The queries in the order the poll cycle serves them.
std::span<const TQuery> Queries();
// Null when `code` is no query.
const TQuery* FindQuery(TCommandCode code);
// Throws std::invalid_argument naming the code when it is no query.
const TQuery& QueryOf(TCommandCode code);

} // namespace protocol

// Mailboxes described in JSON.
//
//   { "store": "名前", "encryption": true, "ipmSubtreeIsRoot": false,
//     "ipmSubtreeName": ..., "deletedItemsName": ..., "searchRootName": ...,
//     "deletedItems": [mail...],
//     "folders": [ { "name": "受信トレイ", "class": "IPF.Note",
//                    "mails": [mail...], "folders": [folder...] } ] }
//
//   mail: { "class": "IPM.Note", "subject": "...", "subjectPrefix": "RE: ",
//           "subjectMarker": true, "from": {"name", "address", "addrType"},
//           "to" / "cc" / "bcc": [{"name", "address", "addrType"}],
//           "sent" / "received" / "created": "2024-04-01T09:30:00Z",
//           "importance": 2, "sensitivity": 0, "flags": 1,
//           "body": "text", "html": "text", "htmlCodePage": 932, "rtf": "{\\rtf1 ...}", "rtfForm": "LZFu" or "MELA",
//           "codePage": 932, "eightBit": true, "messageId": "<...>",
//           "attachments": [attachment...] }
//
//   attachment: { "name": "資料.pdf", "mime": "application/pdf", "method": false,
//                 and one of "data": "text", "base64": "...",
//                 "file": "path, relative to the description",
//                 "size": bytes with "seed": number (pseudo-random content),
//                 "message": mail (an embedded message) }
//
// "html" is stored in htmlCodePage (UTF-8 when absent). With "eightBit", the
// mail's strings are stored 8-bit in "codePage".
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace PstWriter {

// Writes the data file the description names; forceNoEncryption overrides
// the description's "encryption".
void WriteDescription(const std::string& jsonPath, const std::string& outPath,
                      bool forceNoEncryption);

// The pseudo-random content of a "size"/"seed" attachment, handed to sink in pieces.
void GeneratedBytes(uint64_t seed, uint64_t size,
                    const std::function<void(const char*, size_t)>& sink);

} // namespace PstWriter

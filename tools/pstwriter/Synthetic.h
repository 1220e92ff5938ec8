// Benchmark mailboxes: N mails spread over nested folders, with varied
// subjects, bodies, senders and attachments, some duplicate subjects and
// duplicate message ids. The same arguments always give the same file.
#pragma once

#include <cstdint>
#include <string>

namespace PstWriter {

struct SyntheticOptions {
    uint64_t Mails = 1000;
    uint64_t AttachmentKb = 0; // 0: no attachments
    bool Japanese = false;
    bool Encrypt = true;
};

// Writes the mailbox; the file's size.
uint64_t WriteSynthetic(const std::string& path, const SyntheticOptions& options);

} // namespace PstWriter

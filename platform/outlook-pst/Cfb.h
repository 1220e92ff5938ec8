// A minimal writer of OLE compound files (storages and streams) over libgsf.
// This header and its source include no Qt headers; failures are thrown as
// std::runtime_error with libgsf's text.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace OutlookPst::Cfb {

class Storage;
class Stream;

class Writer {
public:
    // Writes the compound file to an open stdio stream, which stays open.
    explicit Writer(FILE* file);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    Storage* Root() const { return FRoot; }
    // A storage inside parent; close it with CloseStorage after its children.
    Storage* AddStorage(Storage* parent, const std::string& name);
    void CloseStorage(Storage* storage);
    void SetClassId(Storage* storage, const unsigned char classId[16]);

    // A stream written piece by piece; only one stream is open at a time.
    Stream* OpenStream(Storage* parent, const std::string& name);
    void Write(Stream* stream, const void* data, std::size_t size);
    void CloseStream(Stream* stream);
    // A whole stream at once.
    void WriteStream(Storage* parent, const std::string& name, const void* data, std::size_t size);

    // Completes the file; raises when libgsf cannot write it.
    void Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
    Storage* FRoot = nullptr;
};

} // namespace OutlookPst::Cfb

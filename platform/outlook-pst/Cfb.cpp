#include "Cfb.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace OutlookPst::Cfb {

namespace {

std::string ErrorText(GsfOutput* output, const char* what)
{
    std::string text = what;
    const GError* error = output ? gsf_output_error(output) : nullptr;
    if (error && error->message) {
        text += ": ";
        text += error->message;
    }
    return text;
}

void InitGsf()
{
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

} // namespace

struct Writer::Impl {
    GsfOutput* Sink = nullptr;
    GsfOutfile* Ole = nullptr;
    std::vector<GsfOutput*> Open; // every child not yet closed, for cleanup

    void Forget(GsfOutput* output)
    {
        for (auto it = Open.begin(); it != Open.end(); ++it) {
            if (*it == output) {
                Open.erase(it);
                return;
            }
        }
    }
};

Writer::Writer(FILE* file) : FImpl(std::make_unique<Impl>())
{
    InitGsf();
    FImpl->Sink = gsf_output_stdio_new_FILE("message.msg", file, TRUE);
    if (!FImpl->Sink)
        throw std::runtime_error("libgsf cannot write to the file");
    FImpl->Ole = gsf_outfile_msole_new(FImpl->Sink);
    if (!FImpl->Ole)
        throw std::runtime_error(ErrorText(FImpl->Sink, "libgsf cannot start a compound file"));
    FRoot = reinterpret_cast<Storage*>(FImpl->Ole);
}

Writer::~Writer()
{
    // An unfinished file is abandoned; its temporary file is removed by the caller.
    for (auto it = FImpl->Open.rbegin(); it != FImpl->Open.rend(); ++it) {
        if (!gsf_output_is_closed(*it))
            gsf_output_close(*it);
        g_object_unref(*it);
    }
    if (FImpl->Ole) {
        if (!gsf_output_is_closed(GSF_OUTPUT(FImpl->Ole)))
            gsf_output_close(GSF_OUTPUT(FImpl->Ole));
        g_object_unref(FImpl->Ole);
    }
    if (FImpl->Sink) {
        if (!gsf_output_is_closed(FImpl->Sink))
            gsf_output_close(FImpl->Sink);
        g_object_unref(FImpl->Sink);
    }
}

Storage* Writer::AddStorage(Storage* parent, const std::string& name)
{
    GsfOutput* child = gsf_outfile_new_child(reinterpret_cast<GsfOutfile*>(parent), name.c_str(), TRUE);
    if (!child)
        throw std::runtime_error("libgsf cannot create the storage " + name);
    FImpl->Open.push_back(child);
    return reinterpret_cast<Storage*>(child);
}

void Writer::CloseStorage(Storage* storage)
{
    auto* output = reinterpret_cast<GsfOutput*>(storage);
    FImpl->Forget(output);
    const gboolean ok = gsf_output_close(output);
    const std::string error = ok ? std::string() : ErrorText(output, "libgsf cannot close a storage");
    g_object_unref(output);
    if (!ok)
        throw std::runtime_error(error);
}

void Writer::SetClassId(Storage* storage, const unsigned char classId[16])
{
    gsf_outfile_msole_set_class_id(reinterpret_cast<GsfOutfileMSOle*>(storage), classId);
}

Stream* Writer::OpenStream(Storage* parent, const std::string& name)
{
    GsfOutput* child = gsf_outfile_new_child(reinterpret_cast<GsfOutfile*>(parent), name.c_str(), FALSE);
    if (!child)
        throw std::runtime_error("libgsf cannot create the stream " + name);
    FImpl->Open.push_back(child);
    return reinterpret_cast<Stream*>(child);
}

void Writer::Write(Stream* stream, const void* data, std::size_t size)
{
    auto* output = reinterpret_cast<GsfOutput*>(stream);
    if (size > 0 && !gsf_output_write(output, size, static_cast<const guint8*>(data)))
        throw std::runtime_error(ErrorText(output, "libgsf cannot write a stream"));
}

void Writer::CloseStream(Stream* stream) { CloseStorage(reinterpret_cast<Storage*>(stream)); }

void Writer::WriteStream(Storage* parent, const std::string& name, const void* data, std::size_t size)
{
    Stream* stream = OpenStream(parent, name);
    Write(stream, data, size);
    CloseStream(stream);
}

void Writer::Finish()
{
    const gboolean oleOk = gsf_output_close(GSF_OUTPUT(FImpl->Ole));
    const std::string oleError = oleOk ? std::string() : ErrorText(GSF_OUTPUT(FImpl->Ole), "libgsf cannot complete the file");
    // Closing the compound file closes its sink as well.
    const gboolean sinkOk = gsf_output_is_closed(FImpl->Sink) ? TRUE : gsf_output_close(FImpl->Sink);
    if (!oleOk)
        throw std::runtime_error(oleError);
    if (!sinkOk)
        throw std::runtime_error(ErrorText(FImpl->Sink, "libgsf cannot complete the file"));
}

} // namespace OutlookPst::Cfb

// Saving HEIC and AVIF with libvips 8.14 on libheif 1.18 and later.
//
// libvips 8.14 hands libheif a writer callback whose result leaves the error's message unset.
// libheif from 1.17 on refuses a result without a message, so every HEIC and AVIF save fails
// ("heif_writer callback returned a null error text"); libvips 8.15 fills the message in. Until
// then, pivana-image defines `heif_context_write` itself: the executable comes first in symbol
// lookup, so libvips' HEIF module calls this function, which wraps libvips' writer in one that
// always sets a message and passes the call on to libheif's own function.
#include <dlfcn.h>
#include <libheif/heif.h>

namespace {

struct WrappedWriter {
    heif_writer* writer;
    void* userdata;
};

heif_error writeWithMessage(heif_context* context, const void* data, size_t size, void* wrapped) {
    const auto* inner = static_cast<const WrappedWriter*>(wrapped);
    heif_error result = inner->writer->write(context, data, size, inner->userdata);
    // The message libvips leaves is whatever was on its stack: never read it.
    result.message = result.code == heif_error_Ok ? "Success" : "Cannot write the output";
    return result;
}

using ContextWrite = heif_error (*)(heif_context*, heif_writer*, void*);

ContextWrite libheifsOwnWrite() {
    // libheif is loaded by then: the libvips module that calls this function links it.
    static const auto write = [] {
        void* library = dlopen("libheif.so.1", RTLD_LAZY | RTLD_NOLOAD);
        return library ? reinterpret_cast<ContextWrite>(dlsym(library, "heif_context_write"))
                       : nullptr;
    }();
    return write;
}

}  // namespace

extern "C" heif_error heif_context_write(heif_context* context, heif_writer* writer,
                                         void* userdata) {
    const ContextWrite write = libheifsOwnWrite();
    if (!write || !writer) {
        return {heif_error_Usage_error, heif_suberror_Unspecified, "libheif is not loaded"};
    }
    WrappedWriter inner{writer, userdata};
    heif_writer wrapper{1, &writeWithMessage};
    return write(context, &wrapper, &inner);
}

// TIFF files written without the photometric tag. The tag is required, yet scientific and
// rendering software often leaves it out of grey (and float) images, and every reader then
// assumes min-is-black; libvips instead refuses the file. Such a file is read from a private
// copy carrying the tag readers assume; the source itself is never written to.
#include "ImageTool.h"

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace pivana::image {

namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct Descriptor {
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    ~Descriptor() { ::close(fd); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

bool lacksPhotometric(const std::string& path) {
    // libtiff reports through handlers libvips owns in this process; a file it cannot read is
    // left for libvips to report.
    TiffHandle tiff(TIFFOpen(path.c_str(), "rm"));
    uint16_t photometric = 0;
    return tiff && TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric) == 0;
}

// A file without a name in the temporary folder, removed by the system however the tool ends.
int unnamedFile() {
    const char* folder = std::getenv("TMPDIR");
    const int fd =
        ::open(folder && *folder ? folder : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw Failure(errno == ENOSPC ? FailureKind::DiskFull : FailureKind::DiskError,
                      std::string("cannot make a private copy: ") + std::strerror(errno));
    }
    return fd;
}

void copyInto(const std::string& path, int out) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        throw Failure(FailureKind::ReadDenied, std::strerror(errno));
    }
    const Descriptor closeIn(in);
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(in, buffer, sizeof buffer)) > 0) {
        if (::write(out, buffer, static_cast<size_t>(got)) != got) {
            throw Failure(FailureKind::DiskFull, "cannot make a private copy");
        }
    }
}

}  // namespace

std::shared_ptr<void> repairedTiff(const std::string& path, std::string& readablePath) {
    const std::string head = fileHead(path, 4);
    const bool isTiffFile = head == std::string("II*\0", 4) || head == std::string("MM\0*", 4);
    if (!isTiffFile || !lacksPhotometric(path)) {
        return nullptr;
    }
    auto copy = std::make_shared<Descriptor>(unnamedFile());
    copyInto(path, copy->fd);
    const std::string name = "/proc/self/fd/" + std::to_string(copy->fd);
    {
        TiffHandle tiff(TIFFOpen(name.c_str(), "r+"));
        uint16_t samples = 1;
        if (!tiff) {
            return nullptr;  // libvips will say what is wrong with the original
        }
        TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFSetField(tiff.get(), TIFFTAG_PHOTOMETRIC,
                     samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        if (!TIFFRewriteDirectory(tiff.get())) {
            return nullptr;
        }
    }
    readablePath = name;
    return copy;
}

}  // namespace pivana::image

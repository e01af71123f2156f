// A cairo page written to a file; see cairo_page.h.
#include "cairo_page.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <fcntl.h>
#include <unistd.h>

#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace rawinq::plot {
namespace {

// PNG files are written here rather than by cairo's own writer, whose
// default compression takes four times as long as drawing the plot: a
// plot is mostly white and large areas of one colour, which the Up
// filter and the fastest deflate level pack almost as small.
constexpr int kDeflateLevel = 1;

void put32(std::vector<unsigned char>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back((v >> shift) & 0xff);
}

// A PNG chunk: length, type, data, CRC of type and data.
void chunk(std::vector<unsigned char>& out, const char type[4],
           const unsigned char* data, size_t length) {
  put32(out, static_cast<uint32_t>(length));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + length);
  put32(out, static_cast<uint32_t>(
                 crc32(0, out.data() + start, static_cast<uInt>(length + 4))));
}

struct Deflater {
  z_stream z{};
  bool open = false;
  ~Deflater() {
    if (open) deflateEnd(&z);
  }
};

// The PNG encoding of an RGB24 image surface: 8-bit RGB, no interlace;
// false when zlib fails.
bool encode_png(cairo_surface_t* surface, std::vector<unsigned char>& out) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  if (data == nullptr || width <= 0 || height <= 0) return false;

  static const unsigned char kSignature[] = {137, 80, 78, 71, 13, 10, 26, 10};
  out.assign(kSignature, kSignature + sizeof kSignature);
  std::vector<unsigned char> header;
  put32(header, static_cast<uint32_t>(width));
  put32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bit RGB
  chunk(out, "IHDR", header.data(), header.size());

  Deflater d;
  if (deflateInit(&d.z, kDeflateLevel) != Z_OK) return false;
  d.open = true;
  const size_t row_bytes = 1 + 3 * static_cast<size_t>(width);
  std::vector<unsigned char> filtered(row_bytes);
  std::vector<unsigned char> packed(
      deflateBound(&d.z, static_cast<uLong>(row_bytes * height)));
  d.z.next_out = packed.data();
  d.z.avail_out = static_cast<uInt>(packed.size());
  for (int y = 0; y < height; ++y) {
    const unsigned char* src = data + static_cast<size_t>(y) * stride;
    // Filter type 2, Up: each byte of the pixels' RGB less the one above
    // it (the first row's less nothing), in one pass over both rows.
    filtered[0] = 2;
    unsigned char* p = filtered.data() + 1;
    if (y == 0) {
      for (int x = 0; x < width; ++x, p += 3) {
        uint32_t px;
        std::memcpy(&px, src + 4 * static_cast<size_t>(x), 4);
        p[0] = static_cast<unsigned char>(px >> 16);
        p[1] = static_cast<unsigned char>(px >> 8);
        p[2] = static_cast<unsigned char>(px);
      }
    } else {
      const unsigned char* above = src - stride;
      for (int x = 0; x < width; ++x, p += 3) {
        uint32_t px, up;
        std::memcpy(&px, src + 4 * static_cast<size_t>(x), 4);
        std::memcpy(&up, above + 4 * static_cast<size_t>(x), 4);
        p[0] = static_cast<unsigned char>((px >> 16) - (up >> 16));
        p[1] = static_cast<unsigned char>((px >> 8) - (up >> 8));
        p[2] = static_cast<unsigned char>(px - up);
      }
    }
    d.z.next_in = filtered.data();
    d.z.avail_in = static_cast<uInt>(row_bytes);
    if (deflate(&d.z, y + 1 == height ? Z_FINISH : Z_NO_FLUSH) !=
        (y + 1 == height ? Z_STREAM_END : Z_OK))
      return false;
  }
  chunk(out, "IDAT", packed.data(), packed.size() - d.z.avail_out);
  chunk(out, "IEND", nullptr, 0);
  return true;
}

}  // namespace

CairoPage::CairoPage(PlotKind kind, const std::string& path, double width,
                     double height, double points_per_unit)
    : kind_(kind), path_(path) {
  // The temporary file beside the target, so that the rename stays within
  // one file system; made like any new file, subject to the umask.
  static std::atomic<unsigned long> counter{0};
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp_path_ = path + ".tmp" + std::to_string(getpid()) + "." +
                 std::to_string(counter++);
    fd = open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
              0666);
    if (fd < 0 && (errno != EEXIST || attempt == 100)) {
      const int err = errno;
      temp_path_.clear();
      fail("cannot create it", err);
    }
  }
  file_.reset(fdopen(fd, "wb"));
  if (!file_) {
    const int err = errno;
    close(fd);
    fail("cannot create it", err);
  }
  switch (kind) {
    case PlotKind::png:
      surface_.reset(cairo_image_surface_create(
          CAIRO_FORMAT_RGB24, static_cast<int>(std::lround(width)),
          static_cast<int>(std::lround(height))));
      break;
    case PlotKind::svg:
      surface_.reset(cairo_svg_surface_create_for_stream(
          write_to, this, width * points_per_unit, height * points_per_unit));
      break;
    case PlotKind::pdf:
      surface_.reset(cairo_pdf_surface_create_for_stream(
          write_to, this, width * points_per_unit, height * points_per_unit));
      break;
  }
  if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS)
    fail(cairo_status_to_string(cairo_surface_status(surface_.get())), 0);
  cr_.reset(cairo_create(surface_.get()));
  if (cairo_status(cr_.get()) != CAIRO_STATUS_SUCCESS)
    fail(cairo_status_to_string(cairo_status(cr_.get())), 0);
  if (kind != PlotKind::png) cairo_scale(cr_.get(), points_per_unit, points_per_unit);
}

CairoPage::~CairoPage() {
  // Drawing stopped half-way: the context and surface go first (a vector
  // surface may still write), then the file and its temporary name.
  cr_.reset();
  surface_.reset();
  file_.reset();
  if (!committed_ && !temp_path_.empty()) unlink(temp_path_.c_str());
}

cairo_status_t CairoPage::write_to(void* closure, const unsigned char* data,
                                   unsigned int length) {
  CairoPage* page = static_cast<CairoPage*>(closure);
  if (!page->file_ || page->write_errno_ != 0) return CAIRO_STATUS_WRITE_ERROR;
  if (std::fwrite(data, 1, length, page->file_.get()) != length) {
    page->write_errno_ = errno ? errno : EIO;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

void CairoPage::fail(const std::string& what, int err) {
  std::string message = "cannot write the plot " + path_ + ": " + what;
  if (err != 0) message += std::string(": ") + std::strerror(err);
  throw PlotError(message, err);
}

void CairoPage::commit() {
  cairo_status_t status = cairo_status(cr_.get());
  if (status == CAIRO_STATUS_SUCCESS) {
    cr_.reset();
    if (kind_ == PlotKind::png) {
      std::vector<unsigned char> png;
      status = encode_png(surface_.get(), png)
                   ? write_to(this, png.data(), static_cast<unsigned>(png.size()))
                   : CAIRO_STATUS_NO_MEMORY;
    } else {
      cairo_surface_finish(surface_.get());
      status = cairo_surface_status(surface_.get());
    }
  }
  if (status != CAIRO_STATUS_SUCCESS)
    fail(cairo_status_to_string(status), write_errno_);
  surface_.reset();
  std::FILE* f = file_.release();
  int err = std::fflush(f) == 0 ? 0 : errno;
  if (std::fclose(f) != 0 && err == 0) err = errno;
  if (err != 0) fail("write failed", err);
  if (std::rename(temp_path_.c_str(), path_.c_str()) != 0)
    fail("cannot put it in place", errno);
  committed_ = true;
}

}  // namespace rawinq::plot

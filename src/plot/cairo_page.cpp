// A cairo page written to a file; see cairo_page.h.
#include "cairo_page.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace rawinq::plot {

CairoPage::CairoPage(PlotKind kind, const std::string& path, double width,
                     double height, double points_per_unit)
    : kind_(kind), path_(path) {
  // The temporary file beside the target, so that the rename stays within
  // one file system; made like any new file, subject to the umask.
  static unsigned long counter = 0;
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
  throw PlotError(message);
}

void CairoPage::commit() {
  cairo_status_t status = cairo_status(cr_.get());
  if (status == CAIRO_STATUS_SUCCESS) {
    cr_.reset();
    if (kind_ == PlotKind::png) {
      status = cairo_surface_write_to_png_stream(surface_.get(), write_to, this);
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

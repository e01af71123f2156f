// The writers of the plot formats: each sounding drawn as a skew-T log-p
// plot into the file the session named for it.
#include <cerrno>
#include <memory>

#include "rawinq/formats.h"
#include "rawinq/plot.h"

namespace {

class PlotWriter final : public SoundingWriter {
 public:
  explicit PlotWriter(PlotKind kind) : kind_(kind) {}

  void write(OutputUnit& out, const Sounding& sounding,
             const STATREC& station, const WriteOptions& options) override {
    try {
      render_skewt(sounding, station, kind_, out.file_path(), options.plot);
    } catch (const PlotError& e) {
      // A plot that cannot be written is a write error of its file.
      throw OutputFailure{e.err() != 0 ? e.err() : EIO, out.path()};
    }
  }

 private:
  PlotKind kind_;
};

}  // namespace

std::unique_ptr<SoundingWriter> make_png_writer() {
  return std::make_unique<PlotWriter>(PlotKind::png);
}
std::unique_ptr<SoundingWriter> make_svg_writer() {
  return std::make_unique<PlotWriter>(PlotKind::svg);
}
std::unique_ptr<SoundingWriter> make_pdf_writer() {
  return std::make_unique<PlotWriter>(PlotKind::pdf);
}

// The table of output formats.
#include "rawinq/formats.h"

namespace {

std::vector<OutputFormat> make_table() {
  // clang-format off
  return {
    // choice name  description  unit  naming  extension
    //   asks: above 100mb, levels, wind; file only, progress lines,
    //   one file per sounding, cut at 100 mb, hands off; file-only note;
    //   writer
    {0, "zir", "ZIR text, four header lines and one line per level",
     UnitKind::text, FileNameRule::dated, ".txt",
     true, true, true, false, true, false, false, false, nullptr, make_zir_writer},
    {1, "faa604", "FAA604 coded messages (TTAA, TTBB, PPBB) up to 100 mb",
     UnitKind::text, FileNameRule::coded_message, ".skt",
     false, true, false, false, true, false, true, false, nullptr, make_faa604_writer},
    {2, "netcdf", "NetCDF, one record per sounding",
     UnitKind::netcdf, FileNameRule::dated, ".cdf",
     true, true, false, true, true, false, false, false,
     "\n NOTE: ALL NetCDF output is to a file", make_netcdf_writer},
    // The skew-T plot: each sounding in the plot data file, handed to the
    // plotter by the dialogue.
    {3, nullptr, "skew-T plot",
     UnitKind::text, FileNameRule::plot_data, ".txt",
     false, false, false, true, false, true, false, true, nullptr, make_zir_writer},
    // ZIR text without the 100 mb question; its dated files end in .cdf.
    {4, nullptr, "ZIR text",
     UnitKind::text, FileNameRule::dated, ".cdf",
     false, true, true, false, true, false, false, false, nullptr,
     make_zir_writer},
    // The analysis formats, on the command line only.
    {-1, "csv", "CSV, one row per level; --derived adds a file of indices",
     UnitKind::text, FileNameRule::dated, ".csv",
     false, true, true, false, false, false, false, false, nullptr, make_csv_writer},
    {-1, "cf", "NetCDF-4, CF-1.8 profiles as a contiguous ragged array",
     UnitKind::netcdf4, FileNameRule::dated, ".nc",
     false, true, false, true, false, false, false, false, nullptr, make_cf_writer},
    {-1, "png", "skew-T log-p plot, a PNG image per sounding",
     UnitKind::file, FileNameRule::station_dated, ".png",
     false, false, false, true, true, true, false, false, nullptr, make_png_writer},
    {-1, "svg", "skew-T log-p plot, an SVG drawing per sounding",
     UnitKind::file, FileNameRule::station_dated, ".svg",
     false, false, false, true, true, true, false, false, nullptr, make_svg_writer},
    {-1, "pdf", "skew-T log-p plot, a PDF page per sounding",
     UnitKind::file, FileNameRule::station_dated, ".pdf",
     false, false, false, true, true, true, false, false, nullptr, make_pdf_writer},
    // WMO BUFR for exchange with other software; binary, to files only.
    {-1, "bufr", "WMO BUFR edition 4, a message per sounding (template 3 09 052)",
     UnitKind::file, FileNameRule::dated, ".bufr",
     false, true, false, true, false, false, false, false, nullptr, make_bufr_writer},
  };
  // clang-format on
}

}  // namespace

const std::vector<OutputFormat>& output_formats() {
  static const std::vector<OutputFormat> table = make_table();
  return table;
}

const OutputFormat* format_by_choice(short choice) {
  for (const OutputFormat& f : output_formats())
    if (f.choice >= 0 && f.choice == choice) return &f;
  return nullptr;
}

const OutputFormat* format_by_name(const std::string& name) {
  for (const OutputFormat& f : output_formats())
    if (f.name != nullptr && name == f.name) return &f;
  return nullptr;
}

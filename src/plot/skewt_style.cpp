// The plots' colours and lines; see rawinq/skewt_style.h.
#include "rawinq/skewt_style.h"

namespace rawinq::plot {

const Style& style() {
  // Trace colours are whole percentages, as an SVG reader sees them.
  static const Style s = [] {
    Style st;
    st.ink = {0.1, 0.1, 0.1};
    st.panel = {0.98, 0.98, 0.98};
    st.isobar = {{0.78, 0.78, 0.78}, 0.7, {}, {0.45, 0.45, 0.45}};
    st.isotherm = {{0.62, 0.72, 0.84}, 0.7, {}, {0.25, 0.4, 0.6}};
    st.zero_isotherm = {{0.45, 0.58, 0.78}, 1.4, {}, {0.25, 0.4, 0.6}};
    st.dry_adiabat = {{0.9, 0.68, 0.56}, 0.7, {}, {0.65, 0.35, 0.2}};
    st.moist_adiabat = {{0.55, 0.78, 0.58}, 0.8, {6, 3}, {0.2, 0.5, 0.25}};
    st.mixing_ratio = {{0.78, 0.62, 0.85}, 0.9, {1.5, 3}, {0.5, 0.3, 0.6}};
    st.temperature = {{0.75, 0, 0}, 2.6, {}, {0.75, 0, 0}};
    st.dew_point = {{0, 0.45, 0.15}, 2.6, {9, 3}, {0, 0.45, 0.15}};
    st.virtual_temperature = {{0.55, 0.2, 0.1}, 0.9, {3, 2}, {0.55, 0.2, 0.1}};
    st.parcel = {{0.1, 0.1, 0.1}, 1.5, {5, 3}, {0.1, 0.1, 0.1}};
    st.helicity_area = {0.35, 0.55, 0.95, 0.25};
    st.inflow_layer = {0.15, 0.35, 0.85};
    st.positive_area = {0.95, 0.55, 0.45, 0.45};
    st.negative_area = {0.55, 0.7, 0.95, 0.35};
    st.barb = {0.05, 0.1, 0.35};
    st.hodograph_bands = {
        {{0.8, 0, 0}, 2.2, {}, {0.8, 0, 0}},
        {{0, 0.55, 0}, 2.2, {}, {0, 0.55, 0}},
        {{0, 0.3, 0.85}, 2.2, {}, {0, 0.3, 0.85}},
        {{0.55, 0.2, 0.6}, 2.2, {}, {0.55, 0.2, 0.6}},
    };
    return st;
  }();
  return s;
}

}  // namespace rawinq::plot

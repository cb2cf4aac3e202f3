#include "svg_picture.hpp"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>

#include "projection.hpp"
#include "text.hpp"

namespace orbits {

using vorn_kernel::HomVec4;

namespace {

constexpr int PAGE = 900;
constexpr double MAX_PAGE_JUMP = 140.0;  // longer jumps between samples are drawn as gaps
constexpr double PAGE_MARGIN = 60.0;     // points this far outside the page start a gap

View pageView() {
    View view;
    view.yaw = 0.35;
    view.pitch = 0.95;
    view.scale = 315.0;
    view.centre_x = PAGE / 2.0;
    view.centre_y = PAGE / 2.0 + 20.0;
    return view;
}

std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

std::optional<Point2> onPage(HomVec4 p, const View& view) {
    // Images farther out than the radius limit would lie far off the page in any case.
    static const auto pole = vorn_motion::StereographicPole::at(HomVec4::init(0, 0, 0, -1), 40.0);
    const Point3 point = vorn_motion::stereographic(p, pole);
    if (std::isnan(point.x)) return std::nullopt;
    const Point2 page = view.toPage(point);
    if (page.x < -PAGE_MARGIN || page.x > PAGE + PAGE_MARGIN || page.y < -PAGE_MARGIN ||
        page.y > PAGE + PAGE_MARGIN) {
        return std::nullopt;
    }
    return page;
}

std::string bodyColour(std::size_t index, std::size_t count) {
    const double hue = 360.0 * static_cast<double>(index) / static_cast<double>(count);
    return cat("hsl(", number(hue), ",85%,64%)");
}

HomVec4 negated(HomVec4 p) { return HomVec4::init(-p.x, -p.y, -p.z, -p.w); }

void writePath(std::ostream& out, const std::vector<HomVec4>& path, const View& view) {
    std::string points;
    std::size_t count = 0;
    std::optional<Point2> previous;
    const auto flush = [&] {
        if (count >= 2) out << "    <polyline points=\"" << points << "\"/>\n";
        points.clear();
        count = 0;
    };
    for (const HomVec4& p : path) {
        const auto page = onPage(p, view);
        if (!page || (previous && std::hypot(page->x - previous->x, page->y - previous->y) > MAX_PAGE_JUMP)) {
            flush();
        }
        previous = page;
        if (!page) continue;
        if (count > 0) points += ' ';
        points += cat(number(page->x), ',', number(page->y));
        ++count;
    }
    flush();
}

void writeBackground(std::ostream& out, const View& view) {
    out << "  <defs>\n"
           "    <radialGradient id=\"sky\" cx=\"50%\" cy=\"48%\" r=\"70%\">\n"
           "      <stop offset=\"0\" stop-color=\"#1b2540\"/>\n"
           "      <stop offset=\"1\" stop-color=\"#070a14\"/>\n"
           "    </radialGradient>\n"
           "    <radialGradient id=\"glow\">\n"
           "      <stop offset=\"0\" stop-color=\"#ffe9a8\" stop-opacity=\"0.9\"/>\n"
           "      <stop offset=\"1\" stop-color=\"#ffb830\" stop-opacity=\"0\"/>\n"
           "    </radialGradient>\n"
           "  </defs>\n"
        << "  <rect width=\"" << PAGE << "\" height=\"" << PAGE << "\" fill=\"url(#sky)\"/>\n";

    // The unit sphere is the image of the great sphere w = 0, where v and −v meet; its
    // outline and its equator z = 0 give the picture depth.
    const Point2 centre = view.toPage({0, 0, 0});
    out << "  <g fill=\"none\" stroke=\"#8ea4d8\" stroke-opacity=\"0.35\" stroke-width=\"1\">\n"
        << "    <circle cx=\"" << number(centre.x) << "\" cy=\"" << number(centre.y) << "\" r=\""
        << number(view.scale) << "\"/>\n";
    std::string equator;
    for (int k = 0; k <= 120; ++k) {
        const double t = 2.0 * std::numbers::pi * k / 120.0;
        const Point2 p = view.toPage({std::cos(t), std::sin(t), 0.0});
        equator += cat(k == 0 ? "" : " ", number(p.x), ',', number(p.y));
    }
    out << "    <polyline stroke-dasharray=\"4 5\" points=\"" << equator << "\"/>\n"
        << "  </g>\n";
}

void writeAttractors(std::ostream& out, const std::vector<vorn_physics::VornBody>& attractors,
                     const View& view) {
    out << "  <g id=\"attractors\">\n";
    for (std::size_t k = 0; k < attractors.size(); ++k) {
        if (const auto antipode = onPage(negated(attractors[k].position), view)) {
            out << "    <circle cx=\"" << number(antipode->x) << "\" cy=\"" << number(antipode->y)
                << "\" r=\"8\" fill=\"none\" stroke=\"#ffcf5a\" stroke-width=\"1.5\" stroke-dasharray=\"3 "
                   "3\"/>\n"
                << "    <text x=\"" << number(antipode->x + 12) << "\" y=\"" << number(antipode->y - 10)
                << "\" fill=\"#c9b27a\" font-family=\"sans-serif\" font-size=\"13\">\u2212A" << k + 1
                << "</text>\n";
        }
        if (const auto centre = onPage(attractors[k].position, view)) {
            out << "    <circle cx=\"" << number(centre->x) << "\" cy=\"" << number(centre->y)
                << "\" r=\"26\" fill=\"url(#glow)\"/>\n"
                << "    <circle cx=\"" << number(centre->x) << "\" cy=\"" << number(centre->y)
                << "\" r=\"7\" fill=\"#ffd766\" stroke=\"#fff4cc\" stroke-width=\"1.5\"/>\n"
                << "    <text x=\"" << number(centre->x + 16) << "\" y=\"" << number(centre->y - 16)
                << "\" fill=\"#ffe7a3\" font-family=\"sans-serif\" font-size=\"15\">A" << k + 1
                << "</text>\n";
        }
    }
    out << "  </g>\n";
}

void writeLegend(std::ostream& out, const TrajectorySketch& sketch, const PictureCaption& caption) {
    out << "  <g font-family=\"sans-serif\" fill=\"#dfe6f5\">\n"
        << "    <text x=\"28\" y=\"42\" font-size=\"22\">" << xmlEscaped(caption.title) << "</text>\n"
        << "    <text x=\"28\" y=\"66\" font-size=\"13\" fill=\"#9fb0d3\">" << xmlEscaped(caption.subtitle)
        << "</text>\n"
        << "  </g>\n"
        << "  <g font-family=\"sans-serif\" font-size=\"13\" fill=\"#c9d3ea\">\n"
        << "    <circle cx=\"36\" cy=\"806\" r=\"6\" fill=\"#ffd766\" stroke=\"#fff4cc\"/>\n"
        << "    <text x=\"52\" y=\"811\">attractor</text>\n"
        << "    <circle cx=\"36\" cy=\"830\" r=\"6\" fill=\"none\" stroke=\"#ffcf5a\" stroke-dasharray=\"3 "
           "3\"/>\n"
        << "    <text x=\"52\" y=\"835\">its antipode, the same projective point</text>\n"
        << "    <circle cx=\"36\" cy=\"854\" r=\"4\" fill=\"none\" stroke=\"#ff5a5a\" "
           "stroke-width=\"1.6\"/>\n"
        << "    <text x=\"52\" y=\"859\">contact between two bodies (" << sketch.contactCount()
        << ")</text>\n"
        << "    <circle cx=\"36\" cy=\"878\" r=\"3\" fill=\"#ffffff\"/>\n"
        << "    <text x=\"52\" y=\"883\">body captured by an attractor (" << sketch.captures().size()
        << ")</text>\n"
        << "  </g>\n";
}

}  // namespace

void writeSvg(std::ostream& out, const TrajectorySketch& sketch,
              const std::vector<vorn_physics::VornBody>& attractors, const PictureCaption& caption) {
    const View view = pageView();
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << PAGE << "\" height=\"" << PAGE
        << "\" viewBox=\"0 0 " << PAGE << ' ' << PAGE << "\">\n"
        << "  <title>" << xmlEscaped(caption.title) << "</title>\n";
    writeBackground(out, view);

    const auto& paths = sketch.paths();
    out << "  <g id=\"paths\" fill=\"none\" stroke-width=\"0.9\" stroke-opacity=\"0.75\" "
           "stroke-linejoin=\"round\" stroke-linecap=\"round\">\n";
    for (std::size_t i = 0; i < paths.size(); ++i) {
        out << "   <g stroke=\"" << bodyColour(i, paths.size()) << "\">\n";
        writePath(out, paths[i], view);
        out << "   </g>\n";
    }
    out << "  </g>\n";

    out << "  <g id=\"ends\">\n";
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (paths[i].empty()) continue;
        if (const auto end = onPage(paths[i].back(), view)) {
            out << "    <circle cx=\"" << number(end->x) << "\" cy=\"" << number(end->y)
                << "\" r=\"2.6\" fill=\"" << bodyColour(i, paths.size()) << "\"/>\n";
        }
    }
    out << "  </g>\n";

    writeAttractors(out, attractors, view);

    out << "  <g id=\"contacts\" fill=\"none\" stroke=\"#ff5a5a\" stroke-width=\"1.6\">\n";
    for (const ContactEvent& contact : sketch.contacts()) {
        if (const auto at = onPage(contact.position, view)) {
            out << "    <circle cx=\"" << number(at->x) << "\" cy=\"" << number(at->y) << "\" r=\"4\"/>\n";
        }
    }
    out << "  </g>\n"
        << "  <g id=\"captures\" fill=\"#ffffff\">\n";
    for (const CaptureEvent& capture : sketch.captures()) {
        if (const auto at = onPage(capture.position, view)) {
            out << "    <circle cx=\"" << number(at->x) << "\" cy=\"" << number(at->y) << "\" r=\"3\"/>\n";
        }
    }
    out << "  </g>\n";

    writeLegend(out, sketch, caption);
    out << "</svg>\n";
}

}  // namespace orbits

#include "html_movie.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include <vorn/vorn_motion.hpp>

#include "html_movie_page.hpp"

namespace orbits {

namespace {

using vorn_kernel::HomVec4;
using vorn_motion::Point3;

// Images farther out than these radii are not drawn: they lie near the projection's
// singular set, where a point would streak across the picture. The stereographic limit
// keeps the attractors' hemisphere w > 0 (the unit ball) and a margin around it in view.
constexpr double STEREOGRAPHIC_CLIP = 1.5;
constexpr double GNOMONIC_CLIP = 2.5;

struct Projection {
    const char* name;
    const char* outline;  // "ball": the unit sphere is drawn as a guide; "sphere": the image is S²
    double radius;        // the largest image radius
    Point3 (*project)(HomVec4);
};

Point3 stereographicFromSouth(HomVec4 p) {
    static const auto pole = vorn_motion::StereographicPole::at({0, 0, 0, -1}, STEREOGRAPHIC_CLIP);
    return vorn_motion::stereographic(p, pole);
}

Point3 gnomonicInW(HomVec4 p) { return vorn_motion::gnomonic(p, vorn_kernel::AffineCard::UW, GNOMONIC_CLIP); }

Point3 hopfToSphere(HomVec4 p) { return vorn_motion::hopf(p); }

constexpr Projection PROJECTIONS[] = {
    {"stereographic from (0, 0, 0, \xe2\x88\x92"
     "1)",
     "ball", STEREOGRAPHIC_CLIP, stereographicFromSouth},
    {"gnomonic, chart w \xe2\x89\xa0 0 (p and \xe2\x88\x92p coincide)", "ball", GNOMONIC_CLIP, gnomonicInW},
    {"Hopf map to S\xc2\xb2", "sphere", 1.0, hopfToSphere},
};

void writeNumber(std::ostream& out, double value) {
    if (!std::isfinite(value)) {
        out << "null";
        return;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.4f", value);
    out << buffer;
}

void writePoint(std::ostream& out, Point3 p) {
    writeNumber(out, p.x);
    out << ',';
    writeNumber(out, p.y);
    out << ',';
    writeNumber(out, p.z);
}

// Text for a JSON string: quotes, backslashes, control characters and '<' (so that no
// "</script>" can end the data early) are escaped.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == '<') {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + '"';
}

// The first frame at or after `step`.
std::size_t frameOf(const MovieRun& run, std::uint64_t step) {
    const auto& steps = run.steps;
    const auto at = std::lower_bound(steps.begin(), steps.end(), step);
    return std::min<std::size_t>(static_cast<std::size_t>(at - steps.begin()), steps.size() - 1);
}

void writeData(std::ostream& out, const MovieRun& run) {
    out << "{\"bodies\":" << run.bodies << ",\"steps\":[";
    for (std::size_t f = 0; f < run.steps.size(); ++f) out << (f ? "," : "") << run.steps[f];
    out << "],\n\"projections\":[";
    for (std::size_t k = 0; k < std::size(PROJECTIONS); ++k) {
        const Projection& projection = PROJECTIONS[k];
        out << (k ? ",\n" : "") << "{\"name\":" << jsonString(projection.name) << ",\"outline\":\""
            << projection.outline << "\",\"radius\":";
        writeNumber(out, projection.radius);
        out << ",\"attractors\":[";
        for (std::size_t a = 0; a < run.attractors.size(); ++a) {
            const HomVec4 p = run.attractors[a];
            out << (a ? "," : "") << '[';
            writePoint(out, projection.project(p));
            out << ',';
            writePoint(out, projection.project(-p));
            out << ']';
        }
        out << "],\n\"positions\":[";
        const auto& positions = run.positions;
        for (std::size_t i = 0; i < positions.size(); ++i) {
            if (i) out << (i % 8 == 0 ? ",\n" : ",");
            writePoint(out, projection.project(positions[i]));
        }
        out << "]}";
    }
    out << "],\n\"contacts\":[";
    for (std::size_t c = 0; c < run.contacts.size(); ++c) {
        const MovieEvent& contact = run.contacts[c];
        out << (c ? "," : "") << "[" << frameOf(run, contact.step) << ',' << contact.first << ','
            << contact.second << ']';
    }
    out << "],\n\"captures\":[";
    for (std::size_t c = 0; c < run.captures.size(); ++c) {
        const MovieEvent& capture = run.captures[c];
        out << (c ? "," : "") << "[" << frameOf(run, capture.step) << ',' << capture.first << ','
            << capture.second << ']';
    }
    out << "]}";
}

void check(const MovieRun& run) {
    if (run.steps.empty()) throw std::invalid_argument("a movie needs at least one frame");
    if (run.positions.size() / run.steps.size() != run.bodies ||
        run.positions.size() % run.steps.size() != 0) {
        throw std::invalid_argument("a movie needs one position per body and frame");
    }
    if (!std::is_sorted(run.steps.begin(), run.steps.end())) {
        throw std::invalid_argument("a movie's frame steps must not decrease");
    }
    for (const MovieEvent& contact : run.contacts) {
        if (contact.first >= run.bodies || contact.second >= run.bodies) {
            throw std::invalid_argument("a movie's contact names a body it does not have");
        }
    }
    for (const MovieEvent& capture : run.captures) {
        if (capture.first >= run.bodies || capture.second >= run.attractors.size()) {
            throw std::invalid_argument("a movie's capture names a body or attractor it does not have");
        }
    }
}

}  // namespace

void writeHtmlMovie(std::ostream& out, const MovieRun& run, const PictureCaption& caption) {
    check(run);
    // Nothing may come from outside the page: a test sees any attempt as a reported error.
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        << "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "script-src 'unsafe-inline'; style-src 'unsafe-inline'\">\n<title>"
        << xmlEscaped(caption.title) << "</title>\n<style>\n"
        << HTML_MOVIE_STYLE << "</style>\n</head>\n<body>\n<h1>" << xmlEscaped(caption.title)
        << "</h1>\n<p class=\"sub\">" << xmlEscaped(caption.subtitle) << "</p>\n"
        << HTML_MOVIE_BODY << "<script type=\"application/json\" id=\"run-data\">\n";
    writeData(out, run);
    out << "\n</script>\n<script>\n" << HTML_MOVIE_SCRIPT << "</script>\n</body>\n</html>\n";
}

}  // namespace orbits

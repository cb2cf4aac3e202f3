#include "html_movie.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
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
std::size_t frameOf(const MovieFrames& frames, std::uint64_t step) {
    const auto& steps = frames.frameSteps();
    const auto at = std::lower_bound(steps.begin(), steps.end(), step);
    return std::min<std::size_t>(static_cast<std::size_t>(at - steps.begin()), steps.size() - 1);
}

void writeData(std::ostream& out, const MovieFrames& frames,
               const std::vector<vorn_physics::VornBody>& attractors) {
    out << "{\"bodies\":" << frames.bodyCount() << ",\"steps\":[";
    for (std::size_t f = 0; f < frames.frameCount(); ++f) out << (f ? "," : "") << frames.frameSteps()[f];
    out << "],\n\"projections\":[";
    for (std::size_t k = 0; k < std::size(PROJECTIONS); ++k) {
        const Projection& projection = PROJECTIONS[k];
        out << (k ? ",\n" : "") << "{\"name\":" << jsonString(projection.name) << ",\"outline\":\""
            << projection.outline << "\",\"radius\":";
        writeNumber(out, projection.radius);
        out << ",\"attractors\":[";
        for (std::size_t a = 0; a < attractors.size(); ++a) {
            const HomVec4 p = attractors[a].position;
            out << (a ? "," : "") << '[';
            writePoint(out, projection.project(p));
            out << ',';
            writePoint(out, projection.project(-p));
            out << ']';
        }
        out << "],\n\"positions\":[";
        const auto& positions = frames.positions();
        for (std::size_t i = 0; i < positions.size(); ++i) {
            if (i) out << (i % 8 == 0 ? ",\n" : ",");
            writePoint(out, projection.project(positions[i]));
        }
        out << "]}";
    }
    out << "],\n\"contacts\":[";
    for (std::size_t c = 0; c < frames.contacts().size(); ++c) {
        const ContactEvent& contact = frames.contacts()[c];
        out << (c ? "," : "") << "[" << frameOf(frames, contact.step) << ',' << contact.first << ','
            << contact.second << ']';
    }
    out << "],\n\"captures\":[";
    for (std::size_t c = 0; c < frames.captures().size(); ++c) {
        const CaptureEvent& capture = frames.captures()[c];
        out << (c ? "," : "") << "[" << frameOf(frames, capture.step) << ',' << capture.body << ','
            << capture.attractor << ']';
    }
    out << "]}";
}

}  // namespace

void writeHtmlMovie(std::ostream& out, const MovieFrames& frames,
                    const std::vector<vorn_physics::VornBody>& attractors, const PictureCaption& caption) {
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
        << xmlEscaped(caption.title) << "</title>\n<style>\n"
        << HTML_MOVIE_STYLE << "</style>\n</head>\n<body>\n<h1>" << xmlEscaped(caption.title)
        << "</h1>\n<p class=\"sub\">" << xmlEscaped(caption.subtitle) << "</p>\n"
        << HTML_MOVIE_BODY << "<script type=\"application/json\" id=\"run-data\">\n";
    writeData(out, frames, attractors);
    out << "\n</script>\n<script>\n" << HTML_MOVIE_SCRIPT << "</script>\n</body>\n</html>\n";
}

}  // namespace orbits

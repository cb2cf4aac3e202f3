// Checks the CSV of an orbits run: every position lies on the unit sphere within 1e-12 with a
// velocity tangent to it, the rows are whole steps of all bodies, and the energy is one finite
// value per step that the damping has lowered by the last step. (xmllint checks the SVG.)
//   check_orbits_output <csv file> <number of bodies>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "csv_trajectories.hpp"

namespace {

constexpr double NORM_TOLERANCE = 1e-12;

bool readFile(const char* path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
    return true;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const auto comma = line.find(',', start);
        fields.push_back(
            line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

template <typename Number>
bool parse(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && !text.empty();
}

int checkCsv(const char* path, unsigned long bodies) {
    std::string content;
    if (!readFile(path, content)) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    std::istringstream lines(content);
    std::string line;
    if (!std::getline(lines, line) || line != orbits::CSV_HEADER) {
        std::fprintf(stderr, "%s: the header is not '%s'\n", path, orbits::CSV_HEADER);
        return 1;
    }
    unsigned long rows = 0;
    double worst_norm_error = 0.0;
    double first_energy = 0.0;
    double step_energy = 0.0;
    while (std::getline(lines, line)) {
        ++rows;
        const auto fields = splitFields(line);
        double value[13] = {};
        unsigned long body = 0;
        bool ok = fields.size() == 13 && parse(fields[2], body) && body < bodies;
        for (std::size_t i = 3; ok && i < 11; ++i) ok = parse(fields[i], value[i]) && std::isfinite(value[i]);
        ok = ok && (fields[11] == "free" || fields[11] == "contact" || fields[11] == "captured");
        ok = ok && parse(fields[12], value[12]) && std::isfinite(value[12]);
        if (!ok) {
            std::fprintf(stderr, "%s:%lu: malformed row '%s'\n", path, rows + 1, line.c_str());
            return 1;
        }
        if ((rows - 1) % bodies == 0) {
            step_energy = value[12];
            if (rows == 1) first_energy = step_energy;
        } else if (value[12] != step_energy) {
            std::fprintf(stderr, "%s:%lu: the energy differs from the step's first row\n", path, rows + 1);
            return 1;
        }
        const double x = value[3], y = value[4], z = value[5], w = value[6];
        const double vx = value[7], vy = value[8], vz = value[9], vw = value[10];
        const double norm_error = std::fabs(std::sqrt(x * x + y * y + z * z + w * w) - 1.0);
        worst_norm_error = std::fmax(worst_norm_error, norm_error);
        if (norm_error > NORM_TOLERANCE) {
            std::fprintf(stderr, "%s:%lu: the position has norm 1 %+.3g\n", path, rows + 1, norm_error);
            return 1;
        }
        const double speed = std::sqrt(vx * vx + vy * vy + vz * vz + vw * vw);
        const double radial = x * vx + y * vy + z * vz + w * vw;
        if (std::fabs(radial) > NORM_TOLERANCE * std::fmax(1.0, speed)) {
            std::fprintf(stderr, "%s:%lu: the velocity has a radial part %.3g\n", path, rows + 1, radial);
            return 1;
        }
    }
    if (rows == 0 || rows % bodies != 0) {
        std::fprintf(stderr, "%s: %lu rows is not a whole number of steps of %lu bodies\n", path, rows,
                     bodies);
        return 1;
    }
    if (!(step_energy < first_energy)) {
        std::fprintf(stderr, "%s: the energy went from %.17g to %.17g under damping\n", path, first_energy,
                     step_energy);
        return 1;
    }
    std::printf("%s: %lu rows, every position within %.3g of the unit sphere\n", path, rows,
                worst_norm_error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long bodies = 0;
    if (argc != 3 || !parse(std::string_view(argv[2]), bodies) || bodies == 0) {
        std::fprintf(stderr, "usage: check_orbits_output <csv file> <number of bodies>\n");
        return 2;
    }
    return checkCsv(argv[1], bodies);
}

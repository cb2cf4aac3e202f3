// The live page's table of native hashes: every scene it offers, stepped HASHED_STEPS steps and
// hashed, written as the JSON object the page embeds.
//
//   live_hashes OUTPUT.json
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>

#include "live_scene.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: live_hashes OUTPUT.json\n");
        return 2;
    }
    std::ostringstream json;
    json << "{\"step\":" << live::STEP << ",\"hashedSteps\":" << live::HASHED_STEPS << ",\"bodies\":[";
    for (std::size_t b = 0; b < live::BODY_COUNTS.size(); ++b) json << (b ? "," : "") << live::BODY_COUNTS[b];
    json << "],\"integrators\":[";
    for (std::size_t k = 0; k < live::INTEGRATORS.size(); ++k) {
        json << (k ? "," : "") << '"' << live::INTEGRATORS[k].name << '"';
    }
    json << "],\"hashes\":{";
    bool first = true;
    for (const auto& choice : live::INTEGRATORS) {
        for (const int bodies : live::BODY_COUNTS) {
            std::string hash;
            try {
                live::LiveScene scene(bodies, choice.integrator);
                scene.step(live::HASHED_STEPS);
                hash = live::hexOf(scene.hash());
            } catch (const std::exception& e) {
                std::fprintf(stderr, "live_hashes: %s with %d bodies: %s\n", choice.name, bodies, e.what());
                return 1;
            }
            json << (first ? "" : ",") << '"' << choice.name << '/' << bodies << "\":\"" << hash << '"';
            first = false;
        }
    }
    json << "}}\n";
    // Written to a temporary and renamed, so a failed run leaves no half table behind.
    const std::string temporary = std::string(argv[1]) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << json.str();
        out.flush();
        if (!out) {
            std::fprintf(stderr, "live_hashes: cannot write %s\n", temporary.c_str());
            std::remove(temporary.c_str());
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), argv[1]) != 0) {
        std::fprintf(stderr, "live_hashes: cannot rename %s to %s\n", temporary.c_str(), argv[1]);
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}

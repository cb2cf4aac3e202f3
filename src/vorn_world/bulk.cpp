// The World's bulk state: masses, radii, body types and test flags in place, and writing or removing many
// bodies in one call, all or none.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "vorn_world.hpp"
#include "vorn_world/inputs.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world {

namespace {

// The slots of `ids` in their order; unknown ids throw std::out_of_range, an id named twice
// std::invalid_argument.
std::vector<std::size_t> slotsOf(const detail::WorldState& s, std::span<const BodyId> ids) {
    std::vector<std::size_t> slots(ids.size());
    for (std::size_t k = 0; k < ids.size(); ++k) slots[k] = s.slotOf(ids[k]);
    std::vector<std::size_t> sorted = slots;
    std::sort(sorted.begin(), sorted.end());
    const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
    if (twice != sorted.end()) {
        throw std::invalid_argument("vorn_world: body " + std::to_string(s.ids[*twice]) + " is named twice");
    }
    return slots;
}

std::vector<std::size_t> allSlots(const detail::WorldState& s) {
    std::vector<std::size_t> slots(s.size());
    std::iota(slots.begin(), slots.end(), std::size_t{0});
    return slots;
}

// Each body of `slots` with its field replaced by the value of the same index, as setBody
// takes it; written only once every one is accepted.
template <class Value, class Replace>
void replaceEach(detail::WorldState& s, const std::vector<std::size_t>& slots, std::span<const Value> values,
                 std::string_view what, Replace replace) {
    if (values.size() != slots.size()) {
        throw std::invalid_argument("vorn_world: " + std::string(what) + " for " +
                                    std::to_string(slots.size()) + " bodies, got " +
                                    std::to_string(values.size()));
    }
    std::vector<VornBody> accepted(slots.size());
    for (std::size_t k = 0; k < slots.size(); ++k) {
        VornBody body = s.readSlot(slots[k]);
        replace(body, values[k]);
        try {
            accepted[k] = detail::acceptedBody(body);
        } catch (const std::invalid_argument& refused) {
            const std::string_view reason =
                std::string_view(refused.what()).substr(std::strlen("vorn_world: "));
            throw std::invalid_argument("vorn_world: " + std::string(what) + " of body " +
                                        std::to_string(s.ids[slots[k]]) + " (entry " + std::to_string(k) +
                                        ") refused, none written: " + std::string(reason));
        }
    }
    for (std::size_t k = 0; k < slots.size(); ++k) s.writeSlot(slots[k], accepted[k]);
}

void setPosition(VornBody& body, const HomVec4& position) { body.position = position; }
void setVelocity(VornBody& body, const HomVec4& velocity) { body.velocity = velocity; }
void setMass(VornBody& body, const double& mass) { body.mass = mass; }

}  // namespace

std::span<const double> World::masses() const { return std::span(state_->mass).first(size()); }
std::span<const double> World::radii() const { return std::span(state_->radius).first(size()); }
std::span<const std::uint8_t> World::bodyTypes() const { return std::span(state_->type).first(size()); }
std::span<const std::uint8_t> World::testParticles() const { return std::span(state_->test).first(size()); }

void World::setPositions(std::span<const HomVec4> positions) {
    replaceEach(*state_, allSlots(*state_), positions, "positions", setPosition);
}
void World::setPositions(std::span<const BodyId> ids, std::span<const HomVec4> positions) {
    replaceEach(*state_, slotsOf(*state_, ids), positions, "positions", setPosition);
}
void World::setVelocities(std::span<const HomVec4> velocities) {
    replaceEach(*state_, allSlots(*state_), velocities, "velocities", setVelocity);
}
void World::setVelocities(std::span<const BodyId> ids, std::span<const HomVec4> velocities) {
    replaceEach(*state_, slotsOf(*state_, ids), velocities, "velocities", setVelocity);
}
void World::setMasses(std::span<const double> masses) {
    replaceEach(*state_, allSlots(*state_), masses, "masses", setMass);
}
void World::setMasses(std::span<const BodyId> ids, std::span<const double> masses) {
    replaceEach(*state_, slotsOf(*state_, ids), masses, "masses", setMass);
}

void World::remove(std::span<const BodyId> ids) {
    detail::WorldState& s = *state_;
    const std::vector<std::size_t> slots = slotsOf(s, ids);
    std::vector<bool> gone(s.size(), false);
    for (const std::size_t slot : slots) gone[slot] = true;
    // The bodies kept move down in order, keeping the storage in id order (with their options,
    // low parts and spins).
    std::size_t kept = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (gone[i]) continue;
        if (kept != i) s.moveSlot(i, kept);
        s.ids[kept] = s.ids[i];
        ++kept;
    }
    const std::size_t old_size = s.size();
    s.ids.resize(kept);
    for (std::size_t i = kept; i < old_size; ++i) s.writePadding(i);
    const std::size_t padded = (kept + 3) / 4 * 4;
    if (padded < s.paddedSize()) s.resizePadded(padded);
}

}  // namespace vorn_world

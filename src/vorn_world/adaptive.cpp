// The adaptive integrator: a Gauss–Radau predictor–corrector of order 15 (gauss_radau.hpp) with
// its step chosen from its highest coefficient, in R⁴ on the equations that keep S³ invariant,
//   q̈ = A − ((q·A) + |q̇|²)·q/|q|²,   A = the law's pull at q/|q| + f/m,
// under which q·q̇ and |q|² are constant (so the exact flow stays on the sphere for any A); each
// accepted step is put back on the sphere to rounding. Positions and velocities carry low parts
// (the World's when compensated, the integrator's own otherwise). Every body's values come from
// its own inputs and maxima are taken in storage order, so the bits are the same for any
// threads; only +, −, ·, / and the square root are used, so they are the same on every target.
#include "vorn_world/adaptive.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "vorn_world/error_free.hpp"
#include "vorn_world/gauss_radau.hpp"
#include "vorn_world/state.hpp"

namespace vorn_world::detail {

namespace {

constexpr int order = radau::order;
constexpr double safety = 0.25;         // a step is rejected below, and grows at most by, this ratio
constexpr int max_iterations = 12;      // of the predictor–corrector
constexpr double converged = 1e-16;     // its change in b6 against the acceleration
constexpr double diverged = 1e-6;       // a change it cannot have settled with
constexpr double floor_fraction = 0.1;  // of tolerance^(1/7)·τ: the shortest step (Stepper::trial)

// The coefficient arrays of AdaptiveMemory: component c of body i's k-th coefficient.
struct Coefficients {
    double* data;
    std::size_t padded;
    double& at(int k, int c, std::size_t i) const {
        return data[(static_cast<std::size_t>(k) * 4 + c) * padded + i];
    }
};

Columns columnsAt(std::vector<double>& block, std::size_t first_column, std::size_t padded) {
    double* const base = block.data() + first_column * padded;
    return {base, base + padded, base + 2 * padded, base + 3 * padded};
}

double* component(const Columns& c, int k) { return k == 0 ? c.x : k == 1 ? c.y : k == 2 ? c.z : c.w; }

// The larger of a and b, or NaN if either is (std::max would drop a NaN b).
double largerOf(double a, double b) {
    return b > a || std::isnan(b) || std::isnan(a) ? (std::isnan(a) ? a : b) : a;
}

// x^(1/7) for finite x > 0, from its binary exponent and Newton's steps y ← (6y + x/y⁶)/7
// (from above the root, where they fall monotonically onto it).
double seventhRoot(double x) {
    int exponent = 0;
    const double mantissa = std::frexp(x, &exponent);  // x = mantissa·2^exponent, exactly
    // whole = ceil(exponent / 7), so that exponent − 7·whole is in [−6, 0].
    const int whole = exponent >= 0 ? (exponent + 6) / 7 : -(-exponent / 7);
    const double scaled = std::ldexp(mantissa, exponent - 7 * whole);  // in [2^-7, 1)
    double y = 1.0;                                                    // above the root, which is in [1/2, 1)
    for (int i = 0; i < 10; ++i) {
        const double y3 = y * y * y;
        y = (6.0 * y + scaled / (y3 * y3)) / 7.0;
    }
    return std::ldexp(y, whole);
}

class Stepper {
public:
    Stepper(WorldState& s, double total) : s_(s), m_(s.adaptive), total_(total) {}

    void run();
    AdaptiveResult result() const { return result_; }

private:
    void prepare();
    void evaluate(const Columns& q, const Columns& v, const Columns& acc);
    void predict(double h, double fraction);
    double correct(int node, bool measure);
    bool trial(double h, double& next);
    bool endAgrees(double h, double acc, double& next);
    void accept(double h);
    void putOnSphere();
    void shift(double ratio);
    void rescale(double ratio);
    void forget();
    void deriveG(std::size_t i, int c);

    template <class Body>
    void forMoved(Body&& body) {
        s_.runParallel(s_.size(), [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) {
                if (s_.moved[i] != 0) body(i);
            }
        });
    }
    double maximum(const double* values) const {
        double largest = 0.0;
        for (std::size_t i = 0; i < s_.size(); ++i) {
            if (s_.moved[i] != 0) largest = largerOf(largest, values[i]);
        }
        return largest;
    }

    WorldState& s_;
    AdaptiveMemory& m_;
    double total_;
    AdaptiveResult result_{};
    std::size_t padded_ = 0;
    Coefficients b_{}, e_{}, g_{};
    Columns q_low_{}, v_low_{};
    Columns a0_{}, f_over_m_{}, q_{}, q_hat_{}, v_{}, acc_{};
    double* delta_max_ = nullptr;
    double* acc_max_ = nullptr;
    double* b6_max_ = nullptr;
};

void Stepper::prepare() {
    s_.dropPositionLows();  // the World's position low parts, unless compensated, are plain yoshida4's
    padded_ = s_.paddedSize();
    const bool fresh = !m_.warm || m_.seen_revision != s_.revision || m_.padded != padded_;
    m_.padded = padded_;
    const std::size_t coefficients = static_cast<std::size_t>(order) * 4 * padded_;
    for (std::vector<double>* v : {&m_.b, &m_.e, &m_.g}) {
        if (fresh || v->size() != coefficients) v->assign(coefficients, 0.0);
    }
    if (fresh) m_.predicted = false;
    if (s_.compensated) {
        std::vector<double>().swap(m_.lows);
        q_low_ = columnsOfBlock(s_.q_low_block, s_.rows);
        v_low_ = columnsOfBlock(s_.v_low_block, s_.rows);
    } else {
        if (fresh || m_.lows.size() != 8 * padded_) m_.lows.assign(8 * padded_, 0.0);
        q_low_ = columnsAt(m_.lows, 0, padded_);
        v_low_ = columnsAt(m_.lows, 4, padded_);
    }
    m_.work.resize(24 * padded_);
    m_.maxima.resize(3 * padded_);
    b_ = {m_.b.data(), padded_};
    e_ = {m_.e.data(), padded_};
    g_ = {m_.g.data(), padded_};
    a0_ = columnsAt(m_.work, 0, padded_);
    f_over_m_ = columnsAt(m_.work, 4, padded_);
    q_ = columnsAt(m_.work, 8, padded_);
    q_hat_ = columnsAt(m_.work, 12, padded_);
    v_ = columnsAt(m_.work, 16, padded_);
    acc_ = columnsAt(m_.work, 20, padded_);
    delta_max_ = m_.maxima.data();
    acc_max_ = delta_max_ + padded_;
    b6_max_ = acc_max_ + padded_;
    // Bodies not moved stand where they are in every evaluation; the forces act over all of dt.
    const Columns stored = s_.positions();
    for (std::size_t i = 0; i < padded_; ++i) {
        for (int c = 0; c < 4; ++c) {
            component(q_hat_, c)[i] = component(stored, c)[i];
            component(f_over_m_, c)[i] = 0.0;
        }
    }
    const double* force[4] = {s_.fx.data(), s_.fy.data(), s_.fz.data(), s_.fw.data()};
    forMoved([&](std::size_t i) {
        for (int c = 0; c < 4; ++c) component(f_over_m_, c)[i] = force[c][i] * s_.force_scale[i];
    });
    m_.warm = true;
}

// acc = A − ((q·A) + |v|²)·q/|q|² at the given states, A = the pull at q/|q| + f/m.
void Stepper::evaluate(const Columns& q, const Columns& v, const Columns& acc) {
    forMoved([&](std::size_t i) {
        const double qq = ((q.x[i] * q.x[i] + q.y[i] * q.y[i]) + q.z[i] * q.z[i]) + q.w[i] * q.w[i];
        const double n = vorn_kernel::detail::squareRoot(qq);
        for (int c = 0; c < 4; ++c) component(q_hat_, c)[i] = component(q, c)[i] / n;
    });
    s_.computeGravityAt(q_hat_, acc, Summation::direct);
    ++m_.evaluations;
    forMoved([&](std::size_t i) {
        const double ax = acc.x[i] + f_over_m_.x[i], ay = acc.y[i] + f_over_m_.y[i];
        const double az = acc.z[i] + f_over_m_.z[i], aw = acc.w[i] + f_over_m_.w[i];
        const double qa = ((q.x[i] * ax + q.y[i] * ay) + q.z[i] * az) + q.w[i] * aw;
        const double vv = ((v.x[i] * v.x[i] + v.y[i] * v.y[i]) + v.z[i] * v.z[i]) + v.w[i] * v.w[i];
        const double qq = ((q.x[i] * q.x[i] + q.y[i] * q.y[i]) + q.z[i] * q.z[i]) + q.w[i] * q.w[i];
        const double k = (qa + vv) / qq;
        acc.x[i] = ax - k * q.x[i];
        acc.y[i] = ay - k * q.y[i];
        acc.z[i] = az - k * q.z[i];
        acc.w[i] = aw - k * q.w[i];
    });
}

// The state at fraction `fraction` of a step of h, from the start and the coefficients.
void Stepper::predict(double h, double fraction) {
    const Columns q0 = s_.positions(), v0 = s_.velocities();
    const double hs = h * fraction;
    forMoved([&](std::size_t i) {
        for (int c = 0; c < 4; ++c) {
            double x_poly = b_.at(6, c, i) * radau::position_factors[6];
            double v_poly = b_.at(6, c, i) * radau::velocity_factors[6];
            for (int k = 5; k >= 0; --k) {
                x_poly = b_.at(k, c, i) * radau::position_factors[k] + fraction * x_poly;
                v_poly = b_.at(k, c, i) * radau::velocity_factors[k] + fraction * v_poly;
            }
            const double a0 = component(a0_, c)[i];
            x_poly = 0.5 * a0 + fraction * x_poly;
            v_poly = a0 + fraction * v_poly;
            component(q_, c)[i] = component(q0, c)[i] +
                                  (component(q_low_, c)[i] + (hs * component(v0, c)[i] + (hs * hs) * x_poly));
            component(v_, c)[i] = component(v0, c)[i] + (component(v_low_, c)[i] + hs * v_poly);
        }
    });
}

// The divided difference at `node` from the acceleration there, and the coefficients after it;
// with `measure`, the largest change of g over the largest acceleration.
double Stepper::correct(int node, bool measure) {
    const double* gaps = radau::inverse_gaps[node - 1];
    forMoved([&](std::size_t i) {
        double delta_max = 0.0, acc_max = 0.0;
        for (int c = 0; c < 4; ++c) {
            const double a = component(acc_, c)[i];
            double value = (a - component(a0_, c)[i]) * gaps[0];
            for (int m = 1; m < node; ++m) value = (value - g_.at(m - 1, c, i)) * gaps[m];
            const double delta = value - g_.at(node - 1, c, i);
            g_.at(node - 1, c, i) = value;
            for (int k = 0; k < node; ++k) b_.at(k, c, i) += radau::b_of_g[k][node - 1] * delta;
            delta_max = largerOf(delta_max, std::fabs(delta));
            acc_max = largerOf(acc_max, std::fabs(a));
        }
        delta_max_[i] = delta_max;
        acc_max_[i] = acc_max;
    });
    if (!measure) return 0.0;
    const double acc = maximum(acc_max_);
    return acc > 0.0 ? maximum(delta_max_) / acc : 0.0;
}

// One attempt at a step of h from the stored state (a0 evaluated): the predictor–corrector
// until it converges, then the step the error asks for. Returns whether the step stands.
bool Stepper::trial(double h, double& next) {
    double last_error = 2.0;
    double error = 0.0;
    bool settled = false;  // converged, or stopped falling at its rounding
    for (int iteration = 0; iteration < max_iterations && !settled; ++iteration) {
        for (int node = 1; node <= order; ++node) {
            predict(h, radau::nodes[node]);
            evaluate(q_, v_, acc_);
            error = correct(node, node == order);
        }
        settled = !(error >= converged) || (iteration >= 2 && error >= last_error);
        last_error = error;
    }
    if (!settled && error < diverged) {
        // Still falling after every iteration: the step is too long for the polynomial to follow
        // the motion, and its b6 no longer measures the error. Shorter, from the same start.
        next = safety * h;
        return false;
    }
    if (!(error < diverged)) {  // the iteration ran away (or NaN): start again from nothing, shorter
        forget();
        next = safety * h;
        return false;
    }
    const Columns v0 = s_.velocities();
    forMoved([&](std::size_t i) {
        double b6 = 0.0, speed = 0.0;
        for (int c = 0; c < 4; ++c) {
            b6 = largerOf(b6, std::fabs(b_.at(6, c, i)));
            speed = largerOf(speed, std::fabs(component(v0, c)[i]));
        }
        b6_max_[i] = b6;
        delta_max_[i] = speed;
    });
    const double acc = maximum(acc_max_);
    const double b6 = maximum(b6_max_);
    const double speed = maximum(delta_max_);
    if (!std::isfinite(b6) || !std::isfinite(acc)) {  // the iteration diverged: start again, shorter
        forget();
        next = safety * h;
        return false;
    }
    const double relative = acc > 0.0 ? b6 / acc : 0.0;
    const double root = seventhRoot(m_.tolerance);
    next = relative > 0.0 ? h * seventhRoot(m_.tolerance / relative) : h / safety;
    // Where b6 is all rounding (steps far shorter than the motion needs, or tolerances below what
    // the positions resolve) it no longer falls with the step: the steps never go below a small
    // fraction of the shortest time over which a body's acceleration changes, |a| / |da/dt| at
    // the step's end (each body's (h/τ)² in acc_max_, whose largest is read above).
    forMoved([&](std::size_t i) {
        double a_sq = 0.0, rate_sq = 0.0;  // |a|², |h·da/dt|²
        for (int c = 0; c < 4; ++c) {
            double a = component(a0_, c)[i], rate = 0.0;
            for (int k = 0; k <= 6; ++k) {
                a += b_.at(k, c, i);
                rate += static_cast<double>(k + 1) * b_.at(k, c, i);
            }
            a_sq += a * a;
            rate_sq += rate * rate;
        }
        acc_max_[i] = a_sq > 0.0 ? rate_sq / a_sq : 0.0;
    });
    const double fastest = maximum(acc_max_);  // (h / τ)² for the shortest time τ
    if (fastest > 0.0 && std::isfinite(fastest)) {
        const double floor = floor_fraction * root * std::fabs(h) / std::sqrt(fastest);
        if (std::fabs(next) < floor) next = std::copysign(floor, h);
    }
    if (std::fabs(next) > std::fabs(h) / safety) next = h / safety;
    if (std::fabs(next) >= safety * std::fabs(h)) return endAgrees(h, acc, next);
    // Where the acceleration jumps (at d = π/2 the nearer representative of a source changes
    // sides) its coefficients cannot shrink with the step: the step stands once what b6 adds to
    // the position and the velocity is within the tolerance of them, and the next keeps its length.
    const double bound = m_.tolerance;
    if ((h * h) * b6 * radau::position_factors[6] <= bound &&
        std::fabs(h) * b6 * radau::velocity_factors[6] <= bound * std::max(speed, std::fabs(h) * acc)) {
        next = h;
        return true;
    }
    return false;
}

// The acceleration at the step's end against the polynomial's value there. The last node is at
// 0.9775 of the step: a jump of the acceleration beyond it (a source crossing d = π/2) is seen
// by no node and would be stepped over with the wrong pull. Where they differ by more than
// √tolerance of the largest acceleration `acc` (far above what a smooth motion leaves) the step is
// done again, shorter, so that the jump falls inside a step whose nodes see it.
bool Stepper::endAgrees(double h, double acc, double& next) {
    predict(h, 1.0);
    evaluate(q_, v_, acc_);
    forMoved([&](std::size_t i) {
        double off = 0.0;
        for (int c = 0; c < 4; ++c) {
            double fitted = component(a0_, c)[i];
            for (int k = 0; k <= 6; ++k) fitted += b_.at(k, c, i);
            off = largerOf(off, std::fabs(component(acc_, c)[i] - fitted));
        }
        delta_max_[i] = off;
    });
    if (!(maximum(delta_max_) > std::sqrt(m_.tolerance) * acc)) return true;
    next = safety * h;
    return false;
}

// x += h·v0 + h²·(a0/2 + Σ b_k/((k+2)(k+3))), v += h·(a0 + Σ b_k/(k+2)), with low parts.
void Stepper::accept(double h) {
    const Columns q = s_.positions(), v = s_.velocities();
    forMoved([&](std::size_t i) {
        for (int c = 0; c < 4; ++c) {
            double x_sum = b_.at(6, c, i) * radau::position_factors[6];
            double v_sum = b_.at(6, c, i) * radau::velocity_factors[6];
            for (int k = 5; k >= 0; --k) {
                x_sum = b_.at(k, c, i) * radau::position_factors[k] + x_sum;
                v_sum = b_.at(k, c, i) * radau::velocity_factors[k] + v_sum;
            }
            const double a0 = component(a0_, c)[i];
            const double dx = h * component(v, c)[i] + (h * h) * (0.5 * a0 + x_sum);
            const double dv = h * (a0 + v_sum);
            addCompensated(component(q, c)[i], component(q_low_, c)[i], dx);
            addCompensated(component(v, c)[i], component(v_low_, c)[i], dv);
        }
    });
    putOnSphere();
}

// |q| to one and q·v to zero, each to about 2^-100, from the values with their low parts.
void Stepper::putOnSphere() {
    const Columns q = s_.positions(), v = s_.velocities();
    forMoved([&](std::size_t i) {
        double qq = 0.0, qq_error = 0.0, qv = 0.0;
        for (int c = 0; c < 4; ++c) {
            const double x = component(q, c)[i], xl = component(q_low_, c)[i];
            const double y = component(v, c)[i], yl = component(v_low_, c)[i];
            const WithError<double> sq = twoProduct(x, halves(x), x, halves(x));
            const WithError<double> sum = twoSum(qq, sq.value);
            qq = sum.value;
            qq_error += sum.error + (sq.error + 2.0 * x * xl);
            qv += x * y + (x * yl + xl * y);
        }
        const double half_gap = 0.5 * ((1.0 - qq) - qq_error);  // 1 − |q|² is 2·(1 − |q|) to first order
        for (int c = 0; c < 4; ++c) {
            const double x = component(q, c)[i];
            addCompensated(component(q, c)[i], component(q_low_, c)[i], half_gap * x);
            addCompensated(component(v, c)[i], component(v_low_, c)[i], -qv * x);
        }
    });
}

// g from b, for body i's component c.
void Stepper::deriveG(std::size_t i, int c) {
    for (int j = 0; j < order; ++j) {
        double sum = 0.0;
        for (int k = order - 1; k >= j; --k) sum += radau::g_of_b[j][k] * b_.at(k, c, i);
        g_.at(j, c, i) = sum;
    }
}

// The coefficients of the next step, of `ratio` times this one's length: the acceleration's
// polynomial continued past s = 1, a(1 + ratio·s), whose coefficient of s^j is
// ratio^j·Σ_{k ≥ j−1} C(k+1, j)·b_k (the prediction e), plus how far this step's own prediction
// was off (b − e) where it had one.
void Stepper::shift(double ratio) {
    if (!(std::fabs(ratio) <= 20.0)) {  // too far to predict: start the next step from nothing
        forget();
        return;
    }
    static constexpr double binomial[8][8] = {{1, 0, 0, 0, 0, 0, 0, 0},    {1, 1, 0, 0, 0, 0, 0, 0},
                                              {1, 2, 1, 0, 0, 0, 0, 0},    {1, 3, 3, 1, 0, 0, 0, 0},
                                              {1, 4, 6, 4, 1, 0, 0, 0},    {1, 5, 10, 10, 5, 1, 0, 0},
                                              {1, 6, 15, 20, 15, 6, 1, 0}, {1, 7, 21, 35, 35, 21, 7, 1}};
    const bool correct_prediction = m_.predicted;
    forMoved([&](std::size_t i) {
        for (int c = 0; c < 4; ++c) {
            double predicted[order];
            double power = 1.0;
            for (int j = 1; j <= order; ++j) {
                power *= ratio;
                double sum = 0.0;
                for (int k = order - 1; k >= j - 1; --k) sum += binomial[k + 1][j] * b_.at(k, c, i);
                predicted[j - 1] = power * sum;
            }
            for (int k = 0; k < order; ++k) {
                const double miss = correct_prediction ? b_.at(k, c, i) - e_.at(k, c, i) : 0.0;
                e_.at(k, c, i) = predicted[k];
                b_.at(k, c, i) = predicted[k] + miss;
            }
            deriveG(i, c);
        }
    });
    m_.predicted = true;
}

// The same polynomial over a step `ratio` times as long from the same start (after a rejected
// step): b_k·ratio^(k+1), which is also the new prediction.
void Stepper::rescale(double ratio) {
    forMoved([&](std::size_t i) {
        for (int c = 0; c < 4; ++c) {
            double power = 1.0;
            for (int k = 0; k < order; ++k) {
                power *= ratio;
                b_.at(k, c, i) *= power;
                e_.at(k, c, i) = b_.at(k, c, i);
            }
            deriveG(i, c);
        }
    });
}

void Stepper::forget() {
    std::fill(m_.b.begin(), m_.b.end(), 0.0);
    std::fill(m_.e.begin(), m_.e.end(), 0.0);
    std::fill(m_.g.begin(), m_.g.end(), 0.0);
    m_.predicted = false;
}

void Stepper::run() {
    prepare();
    if (total_ == 0.0) return;
    double& done = result_.done;
    double h = m_.next_step != 0.0 ? std::copysign(std::fabs(m_.next_step), total_) : total_;
    evaluate(s_.positions(), s_.velocities(), a0_);
    while (true) {
        const double remaining = total_ - done;
        const double wanted = h;
        if (std::fabs(h) >= std::fabs(remaining)) {
            if (h != remaining) rescale(remaining / h);
            h = remaining;
        }
        double next = 0.0;
        while (!trial(h, next)) {
            ++m_.rejected;
            rescale(next / h);
            h = next;
            // Steps too short to move the clock (a collision with no softening): give up here.
            if (!(std::fabs(h) > std::fabs(total_) * 0x1.0p-52)) {
                result_.stalled = true;
                return;
            }
        }
        accept(h);
        ++result_.steps;
        ++m_.steps;
        const bool landing = h == remaining;
        // A step shortened to land keeps the control's choice from before it.
        const bool shortened = landing && std::fabs(wanted) > std::fabs(h);
        m_.next_step = shortened && std::fabs(wanted) > std::fabs(next) ? wanted : next;
        shift(m_.next_step / h);
        if (landing) {
            done = total_;
            return;
        }
        done += h;
        if (result_.steps >= m_.step_limit) {
            result_.limited = true;
            return;
        }
        evaluate(s_.positions(), s_.velocities(), a0_);
        h = next;
    }
}

}  // namespace

AdaptiveResult adaptiveAdvance(WorldState& s, double dt) {
    Stepper stepper(s, dt);
    stepper.run();
    // The forces have acted; the cached accelerations are those of the old positions.
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.moved[i] == 0) continue;
        s.fx[i] = s.fy[i] = s.fz[i] = s.fw[i] = 0.0;
    }
    s.gravity_valid = false;
    s.adaptive.seen_revision = s.revision;
    return stepper.result();
}

}  // namespace vorn_world::detail

#pragma once
// Which path produced a correctly rounded result: for the project's tests of the functions,
// which call the *WithPath variants to count how often the accurate path runs.

namespace vorn::math::detail {

enum class EvaluationPath {
    special,   // a special value or a range with a closed-form rounding
    fast,      // double-double evaluation, rounding decided
    accurate,  // the multiprecision loop
};

double sinWithPath(double x, EvaluationPath& path);
double cosWithPath(double x, EvaluationPath& path);
double acosWithPath(double x, EvaluationPath& path);
double atanWithPath(double x, EvaluationPath& path);
double atan2WithPath(double y, double x, EvaluationPath& path);
double powWithPath(double x, double y, EvaluationPath& path);

}  // namespace vorn::math::detail

#pragma once
// How a magnitude is re-expressed from one unit collection into another, worked out from the two
// collections alone. The scalar operations and the array element loops both apply the same plan, so an
// array element is bit for bit the scalar result.

#include <optional>

#include "unit/unit_collection.hpp"

namespace tarvel {

struct MagnitudePlan {
    enum class Kind : unsigned char { Identity, Scale, Offset };
    Kind kind = Kind::Identity;
    double fs = 1.0;  // factor of the source
    double ft = 1.0;  // factor of the target
    double os = 0.0;  // offset of the source (Offset only)
    double ot = 0.0;  // offset of the target (Offset only)

    double apply(double value) const noexcept {
        switch (kind) {
            case Kind::Identity:
                return value;
            case Kind::Scale:
                return (value * fs) / ft;
            case Kind::Offset:
                return (ot + (value * fs - os)) / ft;
        }
        return value;
    }
};

// Offsets take part only in a conversion between two absolute temperatures: one unit on each side, each
// with exponent exactly 1. A difference (per degree, degree squared) scales by factors alone.
bool is_single_absolute(const UnitCollection& units) noexcept;

// The conversion of magnitudes in `from` into `to`; nothing when the dimensions differ. Equal factors
// (and equal offsets where offsets apply) carry the magnitude over untouched, so no rounding creeps in.
std::optional<MagnitudePlan> conversion_plan(const UnitCollection& from, const UnitCollection& to) noexcept;

// A magnitude in `from` as an addend in `to` (the dimensions are equal): factors only, offsets ignored.
MagnitudePlan addend_plan(const UnitCollection& from, const UnitCollection& to) noexcept;

// Fixed-kind forms of a plan, for loops whose kind is chosen once outside the loop.
struct IdentityApply {
    double operator()(double value) const noexcept { return value; }
};
struct ScaleApply {
    double fs, ft;
    double operator()(double value) const noexcept { return (value * fs) / ft; }
};
struct OffsetApply {
    double fs, ft, os, ot;
    double operator()(double value) const noexcept { return (ot + (value * fs - os)) / ft; }
};

// The same results with the steps that cannot change a value left out: a division by 1 is exact, and
// v * 1 is v (a signalling NaN is quietened by v - os as it would be by v * 1).
struct MultiplyApply {
    double fs;
    double operator()(double value) const noexcept { return value * fs; }
};
struct ShiftApply {
    double os, ot;
    double operator()(double value) const noexcept { return ot + (value - os); }
};

// Calls body(apply) with the fixed-kind form of `plan`.
template <class Body>
decltype(auto) visit_plan(const MagnitudePlan& plan, Body&& body) {
    switch (plan.kind) {
        case MagnitudePlan::Kind::Scale:
            if (plan.ft == 1.0) return body(MultiplyApply{plan.fs});
            return body(ScaleApply{plan.fs, plan.ft});
        case MagnitudePlan::Kind::Offset:
            if (plan.fs == 1.0 && plan.ft == 1.0) return body(ShiftApply{plan.os, plan.ot});
            return body(OffsetApply{plan.fs, plan.ft, plan.os, plan.ot});
        case MagnitudePlan::Kind::Identity:
            break;
    }
    return body(IdentityApply{});
}

}  // namespace tarvel

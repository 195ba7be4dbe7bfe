#pragma once
// The result rules of the registry: the units of what a NumPy function returns, as functions of the
// arguments' unit collections and of counts (factors reduced, matrix order, polynomial degree). The unit
// algebra is the operation planner's, so a result's units are those the scalar operation would give.

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "array/registry.hpp"
#include "error/tarvel_error.hpp"
#include "unit/unit_collection.hpp"

namespace tarvel::arrays {

// Units for one array or number of the result: NumPy computed it in `raw`; when `normalised` is set the
// magnitudes go from `raw` into it (the quick simplification the scalar operation applies to a freshly
// computed product, quotient or power).
// An argument's own units are borrowed (`borrowed`, valid while the caller's operands are), computed
// ones held in `computed`.
struct ResultPart {
    const UnitCollection* borrowed = nullptr;
    UnitCollection computed;
    std::optional<UnitCollection> normalised;

    const UnitCollection& raw() const noexcept { return borrowed ? *borrowed : computed; }
    const UnitCollection& units() const noexcept { return normalised ? *normalised : raw(); }
};

// How the parts attach to what NumPy returned.
struct ResultPlan {
    enum class Layout : unsigned char {
        Plain,     // returned as NumPy gives it
        Every,     // part(0) on the array or number, or on each item of a list or tuple of them
        Each,      // item i of a list or tuple in part(i) (part(0) past the last, and for a lone array)
        Item,      // a tuple whose item `index` takes part(0), the others plain; a lone array takes part(0)
        Fields,    // a tuple of exactly count() items; an item whose part is empty stays plain
        Sequence,  // a sequence of exactly count() items, returned as a list of quantities
    };
    Layout layout = Layout::Plain;
    std::size_t index = 0;
    std::optional<ResultPart> single;              // Every and Item: one part, no allocation
    std::vector<std::optional<ResultPart>> parts;  // the other layouts

    std::size_t count() const noexcept { return single ? 1 : parts.size(); }
    // Part i, or part 0 past the last.
    const std::optional<ResultPart>& part(std::size_t i) const noexcept {
        return single ? single : parts[i < parts.size() ? i : 0];
    }
};

// What the arguments brought, as the boundary read them.
struct ResultOperands {
    std::string_view function;                    // the row's name, for errors
    const UnitCollection* value = nullptr;        // the value units, when a value was given
    const UnitCollection* coordinate = nullptr;   // the coordinate units, when a coordinate was given
    std::span<const UnitCollection> own;          // the Own arguments' units, in order
    double count = 1.0;          // PowerOfCount: factors reduced; PowerOfLastAxis: matrix order; MatrixPower: n
    long long degree = 0;        // Polynomial: polyfit's deg
    bool density = false;        // Histogram: density=True
    bool where_given = false;    // PowerOfCount: where= makes the count differ between elements
    bool counts_nonzero = false; // Norm: ord=0 counts the non-zero entries
};

Result<ResultPlan> result_plan(ResultUnits rule, const ResultOperands& operands);

// How many factors a product over `axes` multiplies into each result element of an array of `shape`:
// every axis when `axes` is empty; `reduce_default` is a ufunc's reduce without axis=, which runs along
// axis 0. Negative axes count from the end. Nothing when an axis is out of bounds (`bad_axis` receives it).
std::optional<double> factors_reduced(std::span<const std::ptrdiff_t> shape, std::optional<std::span<const long long>> axes,
                                      bool reduce_default, long long& bad_axis);

// polyval's coefficients, highest power first: given the constant coefficient's units R and x's, the
// units coefficient i of `size` is converted into, R / x**(size-1-i) simplified as a product is.
Result<std::vector<UnitCollection>> polynomial_coefficient_units(const UnitCollection& constant,
                                                                 const UnitCollection& x, std::size_t size);

// The interval units of a change or spread of the values (K for °C), else the values' own.
UnitCollection interval_of(const UnitCollection& units);

}  // namespace tarvel::arrays

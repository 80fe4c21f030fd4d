#pragma once
// The health store's vocabulary: data types, units and quantities, and the samples the store keeps.
//
// Types. A data type is looked up by its identifier (`ObjectType::quantityType`, `categoryType`); the
// lookup is absent when the store does not offer the type (see sim/HealthStoreSimulator.hpp, which can
// take one away). Quantity types sum: every quantity sample of a type is kept in the type's own unit.
//
//   type                       unit          compatible units
//   stepCount                  count         count
//   distanceWalkingRunning     meter         meter, mile
//   distanceCycling            meter         meter, mile
//   distanceSwimming           meter         meter, mile
//   activeEnergyBurned         kilocalorie   kilocalorie
//   basalEnergyBurned          kilocalorie   kilocalorie
//
// Units convert exactly by their definitions (a mile is 1609.344 meters). A quantity asked for in a unit
// of another dimension gives no value.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Date.hpp"

namespace talvaren::platform::health {

enum class QuantityTypeIdentifier {
  stepCount,
  distanceWalkingRunning,
  distanceCycling,
  distanceSwimming,
  activeEnergyBurned,
  basalEnergyBurned,
};

enum class CategoryTypeIdentifier { sleepAnalysis };

/// Values of sleep-analysis samples. The store keeps any integer value: later kinds of sleep follow awake.
enum class CategoryValueSleepAnalysis : std::int64_t { inBed = 0, asleep = 1, awake = 2 };

/// The identifier text of a type ("stepCount", "sleepAnalysis", ...).
std::string_view identifierName(QuantityTypeIdentifier identifier);
std::string_view identifierName(CategoryTypeIdentifier identifier);

/// A unit of measure of one dimension.
class Unit {
 public:
  enum class Dimension { count, length, energy };

  static Unit count() { return Unit(Dimension::count, 1.0, "count"); }
  static Unit meter() { return Unit(Dimension::length, 1.0, "m"); }
  static Unit mile() { return Unit(Dimension::length, 1609.344, "mi"); }
  static Unit kilocalorie() { return Unit(Dimension::energy, 1.0, "kcal"); }

  Dimension dimension() const { return dimension_; }
  /// How many of the dimension's base unit (count, meter, kilocalorie) one of this unit is.
  double baseUnits() const { return baseUnits_; }
  const std::string& unitString() const { return symbol_; }

  friend bool operator==(const Unit& a, const Unit& b) { return a.symbol_ == b.symbol_; }

 private:
  Unit(Dimension dimension, double baseUnits, std::string symbol)
      : dimension_(dimension), baseUnits_(baseUnits), symbol_(std::move(symbol)) {}
  Dimension dimension_;
  double baseUnits_;
  std::string symbol_;
};

/// An amount in a unit.
class Quantity {
 public:
  Quantity(Unit unit, double value) : unit_(std::move(unit)), value_(value) {}

  /// The amount in `unit`; absent when `unit` measures something else.
  std::optional<double> doubleValue(const Unit& unit) const;
  bool isCompatible(const Unit& unit) const { return unit.dimension() == unit_.dimension(); }
  /// The amount in the unit it was made with.
  const Unit& unit() const { return unit_; }
  double value() const { return value_; }

 private:
  Unit unit_;
  double value_;
};

/// A data type the store offers. Equal types have equal identifiers.
class ObjectType {
 public:
  enum class Kind { quantity, category };

  /// The type of this identifier; absent when the store does not offer it.
  static std::optional<ObjectType> quantityType(QuantityTypeIdentifier identifier);
  static std::optional<ObjectType> categoryType(CategoryTypeIdentifier identifier);

  Kind kind() const { return kind_; }
  /// For a quantity type; the other identifier is meaningless for the other kind.
  QuantityTypeIdentifier quantityIdentifier() const { return quantity_; }
  CategoryTypeIdentifier categoryIdentifier() const { return category_; }
  std::string_view identifier() const;
  /// The unit quantity samples of this type are kept and summed in (absent for a category type).
  std::optional<Unit> canonicalUnit() const;

  friend bool operator==(const ObjectType& a, const ObjectType& b) {
    return a.kind_ == b.kind_ && (a.kind_ == Kind::quantity ? a.quantity_ == b.quantity_ : a.category_ == b.category_);
  }
  /// A fixed order over all types, for ordered containers.
  friend bool operator<(const ObjectType& a, const ObjectType& b) { return a.rank() < b.rank(); }

  explicit ObjectType(QuantityTypeIdentifier identifier) : kind_(Kind::quantity), quantity_(identifier) {}
  explicit ObjectType(CategoryTypeIdentifier identifier) : kind_(Kind::category), category_(identifier) {}

 private:
  int rank() const;
  Kind kind_;
  QuantityTypeIdentifier quantity_ = QuantityTypeIdentifier::stepCount;
  CategoryTypeIdentifier category_ = CategoryTypeIdentifier::sleepAnalysis;
};

/// The hardware a sample came from, when its source named one.
struct SourceDevice {
  std::optional<std::string> name;
  std::optional<std::string> manufacturer;
  std::optional<std::string> model;
};

/// One stored measurement over [startDate, endDate].
class Sample {
 public:
  virtual ~Sample() = default;
  const ObjectType& sampleType() const { return type_; }
  const Date& startDate() const { return start_; }
  const Date& endDate() const { return end_; }
  const std::optional<SourceDevice>& device() const { return device_; }

 protected:
  Sample(ObjectType type, Date start, Date end, std::optional<SourceDevice> device)
      : type_(type), start_(start), end_(end), device_(std::move(device)) {}

 private:
  ObjectType type_;
  Date start_;
  Date end_;
  std::optional<SourceDevice> device_;
};

class QuantitySample final : public Sample {
 public:
  QuantitySample(ObjectType type, Quantity quantity, Date start, Date end, std::optional<SourceDevice> device = {})
      : Sample(type, start, end, std::move(device)), quantity_(std::move(quantity)) {}
  const Quantity& quantity() const { return quantity_; }

 private:
  Quantity quantity_;
};

class CategorySample final : public Sample {
 public:
  CategorySample(ObjectType type, std::int64_t value, Date start, Date end, std::optional<SourceDevice> device = {})
      : Sample(type, start, end, std::move(device)), value_(value) {}
  std::int64_t value() const { return value_; }

 private:
  std::int64_t value_;
};

using SamplePointer = std::shared_ptr<const Sample>;

}  // namespace talvaren::platform::health

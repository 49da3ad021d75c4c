#include "appkit/NSColor.h"

#include <algorithm>
#include <cmath>

#include "foundation/objects/RuntimeClass.h"

namespace {

float Component(float value) {
    return std::isnan(value) ? 0.0F : std::clamp(value, 0.0F, 1.0F);
}

} // namespace

[[maybe_unused]] static const Class kRegistered = NSColor::ClassObject();

NSColor::NSColor() : ModelObject(ClassObject()) {
}

Class NSColor::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSColor>("NSColor", NSObject::RootClass());
    return cls;
}

Ref<NSColor> NSColor::colorWithCalibratedRed(float red, float green, float blue, float alpha) {
    Ref<NSColor> color = MakeRef<NSColor>();
    color->m_red = Component(red);
    color->m_green = Component(green);
    color->m_blue = Component(blue);
    color->m_alpha = Component(alpha);
    return color;
}

bool NSColor::isEqual(const NSColor& other) const {
    return m_red == other.m_red && m_green == other.m_green && m_blue == other.m_blue &&
           m_alpha == other.m_alpha;
}

nlohmann::json NSColor::DescribeState() const {
    return {{"class", NSStringFromClass(isa())},
            {"red", m_red},
            {"green", m_green},
            {"blue", m_blue},
            {"alpha", m_alpha}};
}

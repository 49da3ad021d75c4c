#pragma once

#include "appkit/ModelObject.h"

// A colour: red, green, blue and alpha components from 0 to 1. Immutable, so it never
// notifies; it is a model object so that the controls using it can describe it.
class NSColor : public ModelObject {
public:
    NSColor();
    static Class ClassObject();
    // Components outside 0...1 are clamped (NaN becomes 0).
    static Ref<NSColor> colorWithCalibratedRed(float red, float green, float blue, float alpha);
    static Ref<NSColor> blackColor() { return colorWithCalibratedRed(0, 0, 0, 1); }
    static Ref<NSColor> grayColor() { return colorWithCalibratedRed(0.5F, 0.5F, 0.5F, 1); }
    static Ref<NSColor> blueColor() { return colorWithCalibratedRed(0, 0, 1, 1); }

    float redComponent() const { return m_red; }
    float greenComponent() const { return m_green; }
    float blueComponent() const { return m_blue; }
    float alphaComponent() const { return m_alpha; }
    bool isEqual(const NSColor& other) const;

    nlohmann::json DescribeState() const override;
    bool IsValue() const override { return true; }

private:
    float m_red = 0;
    float m_green = 0;
    float m_blue = 0;
    float m_alpha = 1;
};

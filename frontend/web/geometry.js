// The model keeps frames as [x, y, width, height] with the origin at the bottom-left of the
// area they lie in, unless that area is flipped (y then runs downward from its top). The page
// lays out from the top-left: this is the one place that converts.
export function topLeft(frame, areaHeight, flipped = false) {
    const [x, y, width, height] = frame;
    return { left: x, top: flipped ? y : areaHeight - y - height, width, height };
}

export function place(element, rect) {
    element.style.left = `${rect.left}px`;
    element.style.top = `${rect.top}px`;
    element.style.width = `${Math.max(0, rect.width)}px`;
    element.style.height = `${Math.max(0, rect.height)}px`;
}

// Stand-in for the filter object Shotcut gives a panel (QmlFilter, in
// Shotcut's program): MLT properties by name, keyframes by frame. Its "in"
// (the filter's first frame) cannot be declared in QML, a reserved word:
// keyframe positions come out as NaN here.
import QtQuick 2.0

QtObject {
    property var values: ({})
    property var keyframes: ({})  // name: {frame: value}
    property bool isNew: true
    property bool blockSignals
    property int animateIn: 0
    property int animateOut: 0
    property int duration: 100
    property var presets: []

    signal propertyChanged(string name)
    signal inChanged(int delta)
    signal outChanged(int delta)

    signal changed()

    function get(name, position) {
        return values[name] === undefined ? '' : String(values[name]);
    }

    function getDouble(name, position) {
        if (position !== undefined && keyframes[name] && keyframes[name][position] !== undefined)
            return keyframes[name][position];
        return values[name] === undefined ? 0 : Number(values[name]);
    }

    function set(name, value, position) {
        if (position !== undefined) {
            if (!keyframes[name])
                keyframes[name] = {};
            keyframes[name][position] = value;
        }
        values[name] = value;
    }

    function resetProperty(name) {
        delete values[name];
        delete keyframes[name];
    }

    function keyframeCount(name) {
        return keyframes[name] ? Object.keys(keyframes[name]).length : 0;
    }

    function clearSimpleAnimation(name) {
    }

    function savePreset(parameters, name) {
        return 0;
    }

    function loadPresets() {
    }
}

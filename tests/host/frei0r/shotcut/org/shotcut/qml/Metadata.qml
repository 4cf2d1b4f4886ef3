// Stand-in for Shotcut's Metadata type, which lives in Shotcut's program
// (QmlMetadata): the properties its shipped meta.qml files set, so that a
// misspelt one fails to load here as it would there. The test loads some of
// Shotcut's own meta.qml files through it too.
import QtQuick 2.0

QtObject {
    enum PluginType { Filter, Producer, Transition, Link }

    property int type: Metadata.Filter
    property string name
    property string keywords
    property string mlt_service
    property bool needsGPU
    property string qml
    property string vui
    property string icon
    property string help
    property bool isAudio
    property bool isHidden
    property bool isFavorite
    property string gpuAlt
    property bool allowMultiple: true
    property bool isClipOnly
    property bool isGpuCompatible: true
    property bool isDeprecated
    property string minimumVersion
    property KeyframesMetadata keyframes: KeyframesMetadata {}
}

// Stand-in for Shotcut's QmlKeyframesMetadata (see Metadata.qml).
import QtQuick 2.0

QtObject {
    property bool allowTrim: true
    property bool allowAnimateIn
    property bool allowAnimateOut
    property list<Parameter> parameters
    property var simpleProperties: []
    property string minimumVersion
    property bool enabled: true
}

// Shotcut's entry for the Mattix frei0r filter (installed as the folder
// share/shotcut/qml/filters/mattix): its name, the MLT service and the
// numbers that take keyframes, on the plug-in's own 0 to 1 scale.
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('Chroma Key: Mattix')
    keywords: qsTr('green blue screen chroma key matte wheel') + ' chroma key: mattix'
    objectName: 'mattix'
    mlt_service: 'frei0r.mattix'
    qml: 'ui.qml'
    allowMultiple: false

    keyframes {
        allowAnimateIn: true
        allowAnimateOut: true
        simpleProperties: ['softness', 'spill']
        parameters: [
            Parameter {
                name: qsTr('Softness')
                property: 'softness'
                isCurve: true
                minimum: 0
                maximum: 1
            },
            Parameter {
                name: qsTr('Spill suppression')
                property: 'spill'
                isCurve: true
                minimum: 0
                maximum: 1
            }
        ]
    }
}

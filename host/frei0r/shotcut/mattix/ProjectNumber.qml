// One number of the Mattix filter: a slider in the setting's own unit and a
// "Project's" box. The plug-in takes 0 to 1 (low to high on the slider) and
// keeps the project's own value for anything below 0, which the box sets.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

RowLayout {
    id: number

    property double low: 0        // the slider's value at plug-in value 0
    property double high: 100     // and at 1
    property string suffix: ' %'
    property bool loading: false  // set while values are shown, not chosen
    readonly property double projectsValue: -1

    // The user chose a plug-in value (projectsValue for the project's).
    signal chosen(double value)

    // Shows a plug-in value without choosing it.
    function show(value) {
        loading = true;
        fromProject.checked = !(value >= 0);
        if (value >= 0)
            slider.value = low + Math.min(value, 1) * (high - low);
        loading = false;
    }

    function pluginValue() {
        return fromProject.checked ? projectsValue : (slider.value - low) / (high - low);
    }

    CheckBox {
        id: fromProject

        objectName: 'fromProject'
        text: qsTr("Project's")
        onToggled: number.chosen(number.pluginValue())
    }

    Shotcut.SliderSpinner {
        id: slider

        objectName: 'slider'
        enabled: !fromProject.checked
        minimumValue: number.low
        maximumValue: number.high
        decimals: 1
        stepSize: 0.1
        suffix: number.suffix
        Layout.fillWidth: true
        onValueChanged: if (!number.loading && !fromProject.checked) number.chosen(number.pluginValue())
    }
}

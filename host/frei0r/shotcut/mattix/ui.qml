// Shotcut's panel for the Mattix frei0r filter: the project file, softness
// and spill suppression (with keyframes), the matte switch and the matte
// finishing numbers. Every number starts as the project's own value; the
// key itself is made and changed in the keyer page, which the line under
// the project names the command for.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Dialogs 1.2
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Shotcut.KeyframableFilter {
    id: root

    // The plug-in's numbers after the keyframable two (frei0r order).
    readonly property var finishing: [
        {"name": 'despill', "label": qsTr('Despill'), "low": 0, "high": 100, "suffix": ' %'},
        {"name": 'clipblack', "label": qsTr('Clip black'), "low": 0, "high": 100, "suffix": ' %'},
        {"name": 'clipwhite', "label": qsTr('Clip white'), "low": 0, "high": 100, "suffix": ' %'},
        {"name": 'shrinkgrow', "label": qsTr('Shrink/grow'), "low": -8, "high": 8, "suffix": ' px'},
        {"name": 'feather', "label": qsTr('Feather'), "low": 0, "high": 8, "suffix": ' px'},
        {"name": 'despilledge', "label": qsTr('Despill edge'), "low": 0, "high": 32, "suffix": ' px'},
        {"name": 'unmix', "label": qsTr('Unmix'), "low": 0, "high": 100, "suffix": ' %'},
        {"name": 'refine', "label": qsTr('Refine'), "low": 0, "high": 8, "suffix": ' px'},
        {"name": 'closeholes', "label": qsTr('Close holes'), "low": 0, "high": 100, "suffix": ' %'}
    ]
    readonly property double projectsValue: -1

    // A file URL from the dialog as a path for the plug-in.
    function pathOf(url) {
        return decodeURIComponent(url.toString().replace(/^file:\/\//, ''));
    }

    function showProject() {
        var path = filter.get('project');
        projectLabel.text = path ? path : qsTr('No project: frames are marked with magenta stripes');
        var clip = producer.get('resource');
        serveLine.text = qsTr('Make or change the key in the keyer page: run\n  mattix serve "%1" --project "%2"\nopen the address it prints, and Save: the preview here follows.').arg(clip ? clip : 'CLIP').arg(path ? path : 'KEY.json');
    }

    function setControls() {
        var position = getPosition();
        blockUpdate = true;
        softness.show(filter.getDouble('softness', position));
        spill.show(filter.getDouble('spill', position));
        softnessKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('softness') > 0;
        spillKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('spill') > 0;
        matte.checked = filter.getDouble('matte') >= 0.5;
        for (var i = 0; i < finishingRows.count; ++i)
            finishingRows.itemAt(i).number.show(filter.getDouble(finishing[i].name));
        blockUpdate = false;
        softness.enabled = spill.enabled = isSimpleKeyframesActive();
        showProject();
    }

    function updateSimpleKeyframes() {
        updateFilter('softness', softness.pluginValue(), softnessKeyframes, null);
        updateFilter('spill', spill.pluginValue(), spillKeyframes, null);
    }

    keyframableParameters: ['softness', 'spill']
    startValues: [projectsValue, projectsValue]
    middleValues: [projectsValue, projectsValue]
    endValues: [projectsValue, projectsValue]
    width: 420
    height: 480
    Component.onCompleted: {
        if (filter.isNew) {
            filter.set('softness', projectsValue);
            filter.set('spill', projectsValue);
            filter.set('matte', 0);
            for (var i = 0; i < finishing.length; ++i)
                filter.set(finishing[i].name, projectsValue);
            filter.savePreset(preset.parameters);
        }
        setControls();
    }

    FileDialog {
        id: projectDialog

        title: qsTr('Open a Mattix project')
        modality: application.dialogModality
        selectMultiple: false
        selectFolder: false
        nameFilters: [qsTr('Mattix projects (*.json)'), qsTr('All Files (*)')]
        onAccepted: {
            filter.set('project', root.pathOf(projectDialog.fileUrl));
            root.showProject();
        }
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 8
        columns: 4

        Label {
            text: qsTr('Preset')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.Preset {
            id: preset

            parameters: ['project', 'softness', 'spill', 'matte'].concat(root.finishing.map(function (f) {
                return f.name;
            }))
            Layout.columnSpan: 3
            onBeforePresetLoaded: resetSimpleKeyframes()
            onPresetSelected: {
                setControls();
                initializeSimpleKeyframes();
            }
        }

        Label {
            text: qsTr('Project')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.Button {
            id: openButton

            text: qsTr('Open...')
            onClicked: projectDialog.open()
        }

        Label {
            id: projectLabel

            elide: Text.ElideMiddle
            Layout.columnSpan: 2
            Layout.fillWidth: true
        }

        Label {
            id: serveLine

            objectName: 'serveLine'
            wrapMode: Text.Wrap
            Layout.columnSpan: 4
            Layout.fillWidth: true
        }

        Label {
            text: qsTr('Softness')
            Layout.alignment: Qt.AlignRight
        }

        ProjectNumber {
            id: softness

            objectName: 'softness'
            Layout.columnSpan: 2
            onChosen: updateFilter('softness', value, softnessKeyframes, getPosition())
        }

        Shotcut.KeyframesButton {
            id: softnessKeyframes

            objectName: 'softnessKeyframes'
            onToggled: toggleKeyframes(checked, 'softness', softness.pluginValue())
        }

        Label {
            text: qsTr('Spill suppression')
            Layout.alignment: Qt.AlignRight
        }

        ProjectNumber {
            id: spill

            objectName: 'spill'
            Layout.columnSpan: 2
            onChosen: updateFilter('spill', value, spillKeyframes, getPosition())
        }

        Shotcut.KeyframesButton {
            id: spillKeyframes

            onToggled: toggleKeyframes(checked, 'spill', spill.pluginValue())
        }

        Label {
            text: qsTr('Matte')
            Layout.alignment: Qt.AlignRight
        }

        CheckBox {
            id: matte

            objectName: 'matte'
            text: qsTr('Show the matte instead of the picture')
            Layout.columnSpan: 3
            onToggled: filter.set('matte', checked ? 1 : 0)
        }

        Repeater {
            id: finishingRows

            model: root.finishing

            RowLayout {
                property alias number: number

                Layout.columnSpan: 4

                Label {
                    text: modelData.label
                    Layout.minimumWidth: 110
                    horizontalAlignment: Text.AlignRight
                }

                ProjectNumber {
                    id: number

                    objectName: modelData.name
                    low: modelData.low
                    high: modelData.high
                    suffix: modelData.suffix
                    Layout.fillWidth: true
                    onChosen: filter.set(modelData.name, value)
                }
            }
        }

        Item {
            Layout.fillHeight: true
        }
    }

    Connections {
        function onChanged() {
            setControls();
        }

        function onInChanged() {
            updateSimpleKeyframes();
        }

        function onOutChanged() {
            updateSimpleKeyframes();
        }

        function onAnimateInChanged() {
            updateSimpleKeyframes();
        }

        function onAnimateOutChanged() {
            updateSimpleKeyframes();
        }

        function onPropertyChanged(name) {
            setControls();
        }

        target: filter
    }

    Connections {
        function onPositionChanged() {
            setControls();
        }

        target: producer
    }
}

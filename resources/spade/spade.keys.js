// Keyboard of the SPADE tree pages: Ctrl+A selects every node, Ctrl+D none
// (on key-down); while the bubble dialog is open Enter saves it, Escape (on
// key-up) closes it, and other keys belong to its text field.

var keyA = 65;
var keyD = 68;
var keyEnter = 13;
var keyEscape = 27;

document.addEventListener("keydown", function (event) {
    if (bubbleDialogOpen) {
        if (event.keyCode === keyEnter) {
            event.preventDefault();
            acceptBubbleDialog();
        }
        return;
    }
    if (!event.ctrlKey) return;
    if (event.keyCode === keyA) {
        event.preventDefault();
        selectAllNodes();
    } else if (event.keyCode === keyD) {
        event.preventDefault();
        deselectAllNodes();
    }
});

document.addEventListener("keyup", function (event) {
    if (event.keyCode === keyEscape && bubbleDialogOpen) closeBubbleDialog();
});

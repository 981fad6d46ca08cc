// The tree page's context menu.
var treeMenu = [
    {
        title: "Save Tree as Image ...",
        action: function () {
            printSVG();
        }
    }
];

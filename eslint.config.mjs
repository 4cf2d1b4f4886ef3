// The keyer page's JavaScript (browser modules) and its browser test
// (Node), with ESLint's recommended rules.
import js from "@eslint/js";
import globals from "globals";

export default [
  { ignores: ["build*/", "out/"] },
  js.configs.recommended,
  {
    files: ["**/host/serve/*.js"],
    languageOptions: { sourceType: "module", globals: globals.browser },
  },
  {
    // The test's functions that run in the page see the browser's globals.
    files: ["**/*.mjs"],
    languageOptions: { sourceType: "module", globals: { ...globals.node, ...globals.browser } },
  },
  {
    rules: {
      eqeqeq: "error",
      "no-var": "error",
      "prefer-const": "error",
      "no-unused-vars": ["error", { args: "none" }],
    },
  },
];

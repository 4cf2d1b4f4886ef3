// One format for the keyer page's files and its browser test.
export default {
  printWidth: 100,
};

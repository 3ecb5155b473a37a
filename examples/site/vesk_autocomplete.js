// Suggestions under the search box of the example site: after each key the
// page asks the search program (VeskAutoComplete_URL, with vesk_ac=1) for the
// lines of vesk_autocomplete.vdat that begin with the words typed so far.
var VeskAutoComplete_Box = null;
var VeskAutoComplete_List = null;

function VeskAutoComplete_UseSuggestion(text) {
  VeskAutoComplete_Box.value = text;
  VeskAutoComplete_List.innerHTML = '';
  VeskAutoComplete_Box.form.submit();
}

function VeskAutoComplete_Ask() {
  var words = VeskAutoComplete_Box.value;
  if (words.length < 2) {
    VeskAutoComplete_List.innerHTML = '';
    return;
  }
  var request = new XMLHttpRequest();
  request.onload = function () {
    if (request.status == 200 && VeskAutoComplete_Box.value == words)
      VeskAutoComplete_List.innerHTML = request.responseText;
  };
  request.open('GET', VeskAutoComplete_URL + '&vesk_query=' + encodeURIComponent(words));
  request.send();
}

function VeskAutoComplete_OnLoad(id) {
  VeskAutoComplete_Box = document.getElementById(id);
  if (!VeskAutoComplete_Box) return;
  VeskAutoComplete_Box.setAttribute('autocomplete', 'off');
  VeskAutoComplete_List = document.createElement('div');
  VeskAutoComplete_List.className = 'vesk_ac_list';
  VeskAutoComplete_Box.parentNode.insertBefore(VeskAutoComplete_List,
                                               VeskAutoComplete_Box.nextSibling);
  VeskAutoComplete_Box.addEventListener('input', VeskAutoComplete_Ask);
}

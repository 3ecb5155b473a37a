// Suggestions under the search box of the example site, as a combobox with a
// list box that keyboards and screen readers can use. After each change of
// the box the page asks the search program (VeskAutoComplete_URL, with
// vesk_ac=1) for the lines of vesk_autocomplete.vdat that begin with the words
// typed so far, and lists those that continue the whole text. Down and Up move
// through the list, Enter takes the marked suggestion and searches, Escape
// closes the list; a status line tells screen readers how many there are.
var VeskAutoComplete = {
  box: null,      // the search box
  list: null,     // the list box under it
  status: null,   // the status line read out by screen readers
  texts: [],      // the suggestions shown
  active: -1,     // the marked suggestion, -1 none
  timer: 0,       // the pending request
  request: null,  // the request in flight
  maxItems: 8,
  delayMs: 120
};

// Puts a suggestion into the box and searches for it.
function VeskAutoComplete_UseSuggestion(text) {
  var ac = VeskAutoComplete;
  ac.box.value = text;
  VeskAutoComplete_Close();
  if (ac.box.form.requestSubmit) ac.box.form.requestSubmit();
  else ac.box.form.submit();
}

function VeskAutoComplete_Close() {
  var ac = VeskAutoComplete;
  ac.texts = [];
  ac.active = -1;
  ac.list.textContent = '';
  ac.list.hidden = true;
  ac.box.setAttribute('aria-expanded', 'false');
  ac.box.removeAttribute('aria-activedescendant');
  ac.status.textContent = '';
}

// Marks suggestion index (-1: none) and keeps it in view.
function VeskAutoComplete_Mark(index) {
  var ac = VeskAutoComplete;
  var options = ac.list.children;
  ac.active = index;
  for (var i = 0; i < options.length; i++)
    options[i].setAttribute('aria-selected', i === index ? 'true' : 'false');
  if (index < 0) {
    ac.box.removeAttribute('aria-activedescendant');
    return;
  }
  ac.box.setAttribute('aria-activedescendant', options[index].id);
  if (options[index].scrollIntoView) options[index].scrollIntoView({block: 'nearest'});
}

// The suggestion texts of the program's answer that continue typed: each
// once, in the order of the answer. The answer is parsed in an inert
// template, so that nothing of it runs; only the texts are taken.
function VeskAutoComplete_Texts(answer, typed) {
  var holder = document.createElement('template');
  holder.innerHTML = answer;
  var links = holder.content.querySelectorAll('a.vesk_ac_item');
  var start = typed.replace(/\s+/g, ' ').replace(/^ /, '').toLowerCase();
  var seen = {}, texts = [];
  for (var i = 0; i < links.length && texts.length < VeskAutoComplete.maxItems; i++) {
    var text = links[i].textContent;
    var key = text.toLowerCase();
    if (seen[key] || key.indexOf(start) !== 0) continue;
    seen[key] = true;
    texts.push(text);
  }
  return texts;
}

function VeskAutoComplete_Show(texts, typed) {
  var ac = VeskAutoComplete;
  VeskAutoComplete_Close();
  if (texts.length === 0) return;
  var start = typed.replace(/^\s+/, '').length;
  for (var i = 0; i < texts.length; i++) {
    var option = document.createElement('li');
    option.id = 'vesk_ac_option' + i;
    option.className = 'vesk_ac_option';
    option.setAttribute('role', 'option');
    option.setAttribute('aria-selected', 'false');
    option.appendChild(document.createTextNode(texts[i].substring(0, start)));
    var rest = document.createElement('b');
    rest.textContent = texts[i].substring(start);
    option.appendChild(rest);
    ac.list.appendChild(option);
  }
  ac.texts = texts;
  ac.list.hidden = false;
  ac.box.setAttribute('aria-expanded', 'true');
  ac.status.textContent = texts.length + (texts.length === 1 ? ' suggestion' : ' suggestions') +
      ', use the up and down arrow keys to choose.';
}

function VeskAutoComplete_Ask() {
  var ac = VeskAutoComplete;
  var typed = ac.box.value;
  if (ac.request) ac.request.abort();
  ac.request = null;
  if (typed.replace(/\s+/g, '').length < 2) {
    VeskAutoComplete_Close();
    return;
  }
  var request = new XMLHttpRequest();
  request.onload = function () {
    if (ac.request !== request) return;
    ac.request = null;
    if (request.status === 200 && ac.box.value === typed && document.activeElement === ac.box)
      VeskAutoComplete_Show(VeskAutoComplete_Texts(request.responseText, typed), typed);
  };
  request.open('GET', VeskAutoComplete_URL + '&vesk_query=' + encodeURIComponent(typed));
  ac.request = request;
  request.send();
}

function VeskAutoComplete_Key(event) {
  var ac = VeskAutoComplete;
  var count = ac.texts.length;
  if (event.key === 'ArrowDown' || event.key === 'Down') {
    if (count === 0) return;
    event.preventDefault();
    VeskAutoComplete_Mark(ac.active + 1 < count ? ac.active + 1 : 0);
  } else if (event.key === 'ArrowUp' || event.key === 'Up') {
    if (count === 0) return;
    event.preventDefault();
    VeskAutoComplete_Mark(ac.active > 0 ? ac.active - 1 : count - 1);
  } else if (event.key === 'Enter') {
    if (ac.active < 0) return;  // the form searches for what was typed
    event.preventDefault();
    VeskAutoComplete_UseSuggestion(ac.texts[ac.active]);
  } else if (event.key === 'Escape' || event.key === 'Esc') {
    if (count === 0) return;
    event.preventDefault();
    VeskAutoComplete_Close();
  } else if (event.key === 'Tab') {
    VeskAutoComplete_Close();
  }
}

// Option under the pointer: the li itself or the element inside it.
function VeskAutoComplete_OptionAt(target) {
  while (target && target.parentNode !== VeskAutoComplete.list) target = target.parentNode;
  return target;
}

function VeskAutoComplete_OnLoad(id) {
  var ac = VeskAutoComplete;
  ac.box = document.getElementById(id);
  if (!ac.box || !ac.box.form) return;
  var wrap = document.createElement('div');
  wrap.className = 'vesk_ac_wrap';
  ac.box.parentNode.insertBefore(wrap, ac.box);
  wrap.appendChild(ac.box);
  ac.list = document.createElement('ul');
  ac.list.id = id + '_suggestions';
  ac.list.className = 'vesk_ac_list';
  ac.list.setAttribute('role', 'listbox');
  ac.list.setAttribute('aria-label', 'Suggestions');
  ac.list.hidden = true;
  wrap.appendChild(ac.list);
  ac.status = document.createElement('div');
  ac.status.className = 'vesk_ac_status';
  ac.status.setAttribute('role', 'status');
  ac.status.setAttribute('aria-live', 'polite');
  wrap.appendChild(ac.status);

  ac.box.setAttribute('autocomplete', 'off');
  ac.box.setAttribute('role', 'combobox');
  ac.box.setAttribute('aria-autocomplete', 'list');
  ac.box.setAttribute('aria-expanded', 'false');
  ac.box.setAttribute('aria-controls', ac.list.id);
  ac.box.addEventListener('input', function () {
    clearTimeout(ac.timer);
    ac.timer = setTimeout(VeskAutoComplete_Ask, ac.delayMs);
  });
  ac.box.addEventListener('keydown', VeskAutoComplete_Key);
  ac.box.addEventListener('blur', VeskAutoComplete_Close);
  // A press on the list keeps the focus in the box, so that the click counts.
  ac.list.addEventListener('mousedown', function (event) { event.preventDefault(); });
  ac.list.addEventListener('click', function (event) {
    var option = VeskAutoComplete_OptionAt(event.target);
    if (option) VeskAutoComplete_UseSuggestion(ac.texts[Array.prototype.indexOf.call(ac.list.children, option)]);
  });
  ac.list.addEventListener('mousemove', function (event) {
    var option = VeskAutoComplete_OptionAt(event.target);
    var index = option ? Array.prototype.indexOf.call(ac.list.children, option) : -1;
    if (index >= 0 && index !== ac.active) VeskAutoComplete_Mark(index);
  });
}

-- Template ids now come from the id blocks (15 digits, unique across all clients), so one user's
-- quick second template no longer meets the first. A template is still keyed within its owner:
-- an id that another user's client made up would otherwise be refused as a duplicate and so tell
-- that the other user has such a template. The column keeps its type and width.
ALTER TABLE usercalendar_ex DROP PRIMARY KEY, ADD PRIMARY KEY (UserID, ID);
ALTER TABLE usercalendar_ex DROP KEY ix_usercalendar_ex_user;

create procedure [sp_MSupd_dboStockUpdates]
as
-- update what changed
if substring(@bitmap,1,1) & 1 = 1
begin
update terms set id = @c1, BeginBalance = @c2, "begin" = @c3
if @@rowcount = 0 return
end
else
begin
update terms set BeginBalance = @c2
end
GO
create procedure [sp_MSdel_dboA] as delete [dbo].[A]
-- if @@rowcount = 0 was here
if @@rowcount = 0 print 'a
b' + 20598 /* c
 */ print 'x'
GO
create procedure [sp_MSdel_dboB] as delete [dbo].[B]
if @@rowcount = 0 -- would raise 20598
	return
GO
/*-d- if @@rowcount = 0 exec sp_msreplraiserror 20598 -d-*/
